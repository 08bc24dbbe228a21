#include "platform/audio_file_error.h"
#include "platform/linux/ffmpeg_aac_file_writer.h"
#include "services/speech/vellup_audio_file_transcriber.h"
#include "support/json_read_error.h"
#include "support/network_http_transport.h"
#include "support/uuid_text.h"
#include "tests/support/pcm_signals.h"
#include "tests/support/run_task.h"
#include "tests/support/stand_in_http_server.h"

#include <QDataStream>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tovalit;
using namespace tovalit::testing;

namespace {

using Error = VellupAudioFileTranscriberError;

constexpr double recordingSeconds = 1.5;
constexpr double toneHertz = 440;

// A 48 kHz stereo recording of a 440 Hz tone, written the way the capture
// service writes one. Made once for the whole suite.
class VellupAudioFileTranscriberTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        recording = new QString(folder->filePath(QStringLiteral("tone.m4a")));
        const PcmFormat capture{48000, 2, PcmSampleType::Float32, true};
        FfmpegAacFileWriter writer(*recording, {48000, 2, 96000}, capture);
        const int buffers = int(recordingSeconds * 48000 / 1024);
        for (int index = 0; index < buffers; ++index)
            writer.write(sineBuffer(capture, 1024, toneHertz, 0.5, qint64(index) * 1024));
        writer.close();
    }
    static void TearDownTestSuite() {
        delete recording;
        delete folder;
    }

    VellupSpeechConfiguration directConfiguration() const {
        return {QStringLiteral("app-1"),
                QStringLiteral("access-1"),
                QStringLiteral("res"),
                QStringLiteral("secret"),
                QStringLiteral("zh-CN"),
                std::nullopt,
                std::nullopt};
    }
    VellupSpeechConfiguration gatewayConfiguration() const {
        VellupSpeechConfiguration configuration;
        configuration.language = QStringLiteral("zh-CN");
        configuration.gatewayBaseURL = server.url(QStringLiteral("/gw/"));
        configuration.gatewaySessionToken = QStringLiteral("session-token");
        return configuration;
    }

    QString transcribe(const VellupSpeechConfiguration &configuration,
                       std::optional<VellupSpeechLexiconConfiguration> lexicon = std::nullopt,
                       const QString &path = *recording) {
        VellupAudioFileTranscriber transcriber(configuration, std::move(lexicon), transport,
                                               server.url(QStringLiteral("/api/v1/asr")));
        return runTask(transcriber.transcribe(path));
    }

    // The error a transcription ends in, which must be ours.
    Error transcriptionError(const VellupSpeechConfiguration &configuration,
                             const QString &path = *recording) {
        try {
            transcribe(configuration, std::nullopt, path);
        } catch (const Error &error) {
            return error;
        }
        ADD_FAILURE() << "no VellupAudioFileTranscriberError";
        return Error(Error::Kind::invalidResponse);
    }

    QJsonObject lastBody() const {
        return QJsonDocument::fromJson(server.requests().back().body).object();
    }

    static inline QTemporaryDir *folder = nullptr;
    static inline QString *recording = nullptr;
    StandInHttpServer server;
    std::shared_ptr<HttpTransport> transport = std::make_shared<NetworkHttpTransport>();
};

TEST_F(VellupAudioFileTranscriberTest, GatewayRouteSendsTheRecordingAs16kMonoPcm) {
    server.enqueue(StandInHttpReply::json(200, R"({"result":[{"text":"  你好，世界 \n"}]})"));
    EXPECT_EQ(transcribe(gatewayConfiguration()), QStringLiteral("你好，世界"));

    ASSERT_EQ(server.requests().size(), 1u);
    const RecordedHttpRequest &request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path(), "/gw/api/proxy/asr-file");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("Authorization"), "Bearer session-token");

    const QJsonObject body = lastBody();
    EXPECT_EQ(QStringList(body.keys()), (QStringList{"audioBase64", "language", "requestId"}));
    EXPECT_EQ(body.value("language").toString(), QStringLiteral("zh-CN"));
    const QString requestID = body.value("requestId").toString();
    EXPECT_TRUE(uuidtext::parse(requestID).has_value());
    EXPECT_EQ(requestID, requestID.toLower());

    // The Base64 holds the recording's length of 16 kHz 16-bit mono, and
    // it is the tone: 880 zero crossings a second.
    const QByteArray pcm = QByteArray::fromBase64(body.value("audioBase64").toString().toLatin1(),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    EXPECT_NEAR(double(pcm.size()), recordingSeconds * 16000 * 2, 16000 * 2 * 0.05);
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    const qsizetype count = pcm.size() / 2;
    int crossings = 0;
    double peak = 0;
    for (qsizetype index = 1600; index < count - 1600; ++index) {
        crossings += (samples[index - 1] < 0) != (samples[index] < 0);
        peak = std::max(peak, std::abs(double(samples[index])) / 32767);
    }
    const double seconds = double(count - 3200) / 16000;
    EXPECT_NEAR(crossings / seconds, 2 * toneHertz, 20);
    EXPECT_NEAR(peak, 0.5, 0.08);
}

TEST_F(VellupAudioFileTranscriberTest, GatewayLexiconCarriesOnlyWhatIsThere) {
    server.setHandler([](const RecordedHttpRequest &) {
        return StandInHttpReply::json(200, R"({"result":{"text":"好"}})");
    });

    transcribe(gatewayConfiguration(), VellupSpeechLexiconConfiguration{});
    EXPECT_FALSE(lastBody().contains("lexicon"));

    VellupSpeechLexiconConfiguration hotwordsOnly;
    hotwordsOnly.boostingTableID = QStringLiteral("id-not-sent");
    hotwordsOnly.inlineHotwords = {QStringLiteral("Tovalit"), QStringLiteral("热词")};
    transcribe(gatewayConfiguration(), hotwordsOnly);
    EXPECT_EQ(lastBody().value("lexicon").toObject(),
              (QJsonObject{{"inlineHotwords", QJsonArray{"Tovalit", "热词"}}}));

    VellupSpeechLexiconConfiguration everything = hotwordsOnly;
    everything.boostingTableName = QStringLiteral("boost");
    everything.correctTableName = QStringLiteral("correct");
    transcribe(gatewayConfiguration(), everything);
    EXPECT_EQ(lastBody().value("lexicon").toObject(),
              (QJsonObject{{"boostingTableName", "boost"},
                           {"correctTableName", "correct"},
                           {"inlineHotwords", QJsonArray{"Tovalit", "热词"}}}));
}

TEST_F(VellupAudioFileTranscriberTest, DirectRouteSendsTheServicePayload) {
    server.setHandler([](const RecordedHttpRequest &) {
        return StandInHttpReply::json(200, R"({"result":{"text":"ok"}})");
    });

    // A gateway address without a session token still goes direct.
    VellupSpeechConfiguration configuration = directConfiguration();
    configuration.gatewayBaseURL = server.url(QStringLiteral("/gw/"));
    EXPECT_EQ(transcribe(configuration), QStringLiteral("ok"));
    const RecordedHttpRequest &request = server.requests().back();
    EXPECT_EQ(request.path(), "/api/v1/asr");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("Authorization"), "Bearer;access-1");

    QJsonObject body = lastBody();
    EXPECT_EQ(body.value("app").toObject(),
              (QJsonObject{{"appid", "app-1"},
                           {"token", "access-1"},
                           {"cluster", "volcengine_streaming_common"}}));
    EXPECT_EQ(body.value("user").toObject(), (QJsonObject{{"uid", "vellup-transcriber-mac"}}));
    QJsonObject audio = body.value("audio").toObject();
    const QString data = audio.take("data").toString();
    EXPECT_NEAR(double(QByteArray::fromBase64(data.toLatin1()).size()), recordingSeconds * 32000,
                32000 * 0.05);
    EXPECT_EQ(audio, (QJsonObject{{"format", "pcm"},
                                  {"rate", 16000},
                                  {"bits", 16},
                                  {"channel", 1},
                                  {"language", "zh-CN"}}));
    QJsonObject requestPart = body.value("request").toObject();
    EXPECT_TRUE(uuidtext::parse(requestPart.take("reqid").toString()).has_value());
    EXPECT_EQ(
        requestPart,
        (QJsonObject{
            {"sequence", -1}, {"nbest", 1}, {"show_utterances", true}, {"enable_itn", true}}));

    // Hot words only: the corpus holds only their JSON text as context.
    VellupSpeechLexiconConfiguration hotwords;
    hotwords.inlineHotwords = {QStringLiteral("Tovalit"), QStringLiteral("热词")};
    transcribe(directConfiguration(), hotwords);
    EXPECT_EQ(lastBody().value("request").toObject().value("corpus").toObject(),
              (QJsonObject{{"context", R"({"hotwords":[{"word":"Tovalit"},{"word":"热词"}]})"}}));

    VellupSpeechLexiconConfiguration tables;
    tables.boostingTableName = QStringLiteral("boost");
    tables.correctTableName = QStringLiteral("correct");
    transcribe(directConfiguration(), tables);
    EXPECT_EQ(lastBody().value("request").toObject().value("corpus").toObject(),
              (QJsonObject{{"boosting_table_name", "boost"}, {"correct_table_name", "correct"}}));

    transcribe(directConfiguration(), VellupSpeechLexiconConfiguration{});
    EXPECT_FALSE(lastBody().value("request").toObject().contains("corpus"));
}

TEST_F(VellupAudioFileTranscriberTest, MissingCredentialsAreRefusedBeforeAnythingIsSent) {
    VellupSpeechConfiguration noAppID = directConfiguration();
    noAppID.appID.clear();
    VellupSpeechConfiguration noAccessToken = directConfiguration();
    noAccessToken.accessToken.clear();
    for (const auto &configuration : {noAppID, noAccessToken}) {
        const Error error = transcriptionError(configuration);
        EXPECT_EQ(error, Error(Error::Kind::missingCredentials));
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("Vellup录音 ASR 凭证不完整。"));
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(VellupAudioFileTranscriberTest, RepliesMapToTextOrTheirErrors) {
    const auto replyError = [&](StandInHttpReply reply) {
        server.enqueue(std::move(reply));
        return transcriptionError(gatewayConfiguration());
    };

    EXPECT_EQ(replyError(StandInHttpReply::json(200, R"({"result":[]})")),
              Error(Error::Kind::emptyTranscript));
    EXPECT_EQ(replyError(StandInHttpReply::json(200, R"({"result":[{"text":" \n "}]})")),
              Error(Error::Kind::emptyTranscript));
    EXPECT_EQ(replyError(StandInHttpReply::json(200, R"({"result":{"text":"\t"}})")),
              Error(Error::Kind::emptyTranscript));
    EXPECT_EQ(replyError(StandInHttpReply::json(200, R"({"code":1000})")),
              Error(Error::Kind::emptyTranscript));
    EXPECT_EQ(replyError(StandInHttpReply::json(200, R"([{"text":"hi"}])")),
              Error(Error::Kind::invalidResponse));

    const Error unauthorized = replyError(StandInHttpReply::text(401, "invalid_token\n"));
    EXPECT_EQ(unauthorized, Error::requestFailed(401, QStringLiteral("invalid_token")));
    EXPECT_EQ(unauthorized.localizedDescription(),
              QStringLiteral("Vellup录音 ASR 请求失败（401）：invalid_token"));
    // The body is carried as it is, JSON or not.
    EXPECT_EQ(replyError(StandInHttpReply::json(502, R"({"message":"upstream down"})")),
              Error::requestFailed(502, QStringLiteral(R"({"message":"upstream down"})")));
    EXPECT_EQ(replyError(StandInHttpReply::text(500, "")),
              Error::requestFailed(500, QStringLiteral("未知错误")));
    EXPECT_EQ(replyError(StandInHttpReply::text(500, "\xff\xfe")),
              Error::requestFailed(500, QStringLiteral("未知错误")));
    EXPECT_EQ(
        replyError(StandInHttpReply::json(300, R"({"result":{"text":"moved"}})")).statusCode(),
        300);

    server.enqueue(StandInHttpReply::json(299, R"({"result":{"text":"edge"}})"));
    EXPECT_EQ(transcribe(gatewayConfiguration()), QStringLiteral("edge"));

    server.enqueue(StandInHttpReply::text(200, "<html>not json</html>"));
    EXPECT_THROW(transcribe(gatewayConfiguration()), JsonReadError);
}

// A WAV file with a header and no samples.
void writeEmptyWave(const QString &path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(16000) << quint32(32000) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(0);
}

TEST_F(VellupAudioFileTranscriberTest, UnusableFilesFailBeforeTheCredentialCheck) {
    const QString empty = folder->filePath(QStringLiteral("empty.wav"));
    writeEmptyWave(empty);
    VellupSpeechConfiguration noCredentials;
    const Error error = transcriptionError(noCredentials, empty);
    EXPECT_EQ(error, Error(Error::Kind::invalidAudioFile));
    EXPECT_EQ(error.localizedDescription(),
              QStringLiteral("录音文件不可用，无法提交Vellup补偿识别。"));

    // A file that cannot be opened fails with the file layer's own error.
    EXPECT_THROW(
        transcribe(noCredentials, std::nullopt, folder->filePath(QStringLiteral("none.m4a"))),
        AudioFileError);
    EXPECT_TRUE(server.requests().empty());
}

TEST(VellupAudioFileTranscriberParts, GatewayFileUrlKeepsTheBasePath) {
    EXPECT_EQ(VellupAudioFileTranscriber::gatewayFileURL(QUrl("http://127.0.0.1:8787")),
              QUrl("http://127.0.0.1:8787/api/proxy/asr-file"));
    EXPECT_EQ(VellupAudioFileTranscriber::gatewayFileURL(QUrl("https://h.example/gw")),
              QUrl("https://h.example/gw/api/proxy/asr-file"));
    EXPECT_EQ(VellupAudioFileTranscriber::inlineHotwordContext({}), std::nullopt);
}

} // namespace
