// Records real speech from the session's PulseAudio source (a null sink's
// monitor) through the production input and writer.

#include "platform/linux/pulse_audio_input.h"
#include "services/capture/audio_capture_service.h"
#include "services/speech/vellup_audio_file_transcriber.h"
#include "support/network_http_transport.h"
#include "support/uuid_text.h"
#include "tests/support/media_probe.h"
#include "tests/support/run_task.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/stand_in_http_server.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <gtest/gtest.h>

using namespace tovalit;
using namespace tovalit::testing;

namespace {

class AudioCaptureIntegrationTest : public WithTemporaryUserFolders {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(PulseAudioInput().hasDefaultInputDevice(),
                                    "no PulseAudio server with a default source");
        TOVALIT_REQUIRE_ENVIRONMENT(hasTool(QStringLiteral("espeak-ng")) &&
                                        hasTool(QStringLiteral("paplay")) &&
                                        hasTool(QStringLiteral("ffprobe")),
                                    "espeak-ng, paplay and ffprobe are needed");
        ASSERT_TRUE(scratch.isValid());
    }

    QTemporaryDir scratch;
};

// A second virtual microphone for the length of a test: a null sink of
// its own format whose monitor is made the default source, then put back.
class ScopedTestSource {
public:
    ScopedTestSource(const QString &sinkName, const QString &moduleArguments)
        : m_sinkName(sinkName) {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"),
                    {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                     QStringLiteral("sink_name=") + sinkName, moduleArguments});
        pactl.waitForFinished(10000);
        m_module = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
        runTool(QStringLiteral("pactl"), {QStringLiteral("set-default-source"), monitor()});
        // As in the session script: silence played at low latency and a
        // low-latency warm-up read settle the sink's latency before the
        // recording that is measured.
        m_silence.start(QStringLiteral("pacat"),
                        {QStringLiteral("--playback"), QStringLiteral("--latency-msec=20"),
                         QStringLiteral("-d"), sinkName, QStringLiteral("/dev/zero")});
        m_silence.waitForStarted(5000);
        runTool(QStringLiteral("sh"),
                {QStringLiteral("-c"), QStringLiteral("parec --latency-msec=20 -d ") + monitor() +
                                           QStringLiteral(" | head -c 32000 >/dev/null")});
    }
    ~ScopedTestSource() {
        m_silence.kill();
        m_silence.waitForFinished(5000);
        runTool(QStringLiteral("pactl"),
                {QStringLiteral("set-default-source"), QStringLiteral("vmic")});
        if (!m_module.isEmpty())
            runTool(QStringLiteral("pactl"), {QStringLiteral("unload-module"), m_module});
    }
    bool isValid() const { return !m_module.isEmpty(); }
    QString monitor() const { return m_sinkName + QStringLiteral(".monitor"); }

private:
    QString m_sinkName;
    QString m_module;
    QProcess m_silence;
};

// Records `speech` played into `sink` from the default source, checks the
// file against what was played, and leaves its path in `recordedFile`.
void recordSpeechAndCheckTheFile(const TemporaryUserFolders &folders, const QString &speech,
                                 const QString &sink, double expectedBitRate,
                                 double bitRateTolerance, QString *recordedFile = nullptr) {
    const DecodedAudio spoken = decodeAudioFile(speech);
    ASSERT_GT(spoken.seconds(), 1.5);

    const PcmFormat inputFormat = PulseAudioInput().inputFormat();
    AudioCaptureService service;
    std::vector<QList<double>> levels;
    service.setOnLevels([&](const QList<double> &reported) { levels.push_back(reported); });
    std::atomic<qint64> capturedFrames{0};
    std::atomic<bool> wholeBuffers{true};
    service.setOnBuffer([&](const PcmBuffer &buffer, const AudioTime &) {
        wholeBuffers =
            wholeBuffers && buffer.frameLength() == 1024 && buffer.format() == inputFormat;
        capturedFrames += buffer.frameLength();
    });

    runTask(service.start(), std::chrono::seconds(15));
    ASSERT_TRUE(service.isRecording());
    ASSERT_TRUE(waitUntil([&] { return capturedFrames > 0; }, "the first captured buffer"));

    QProcess player;
    player.start(QStringLiteral("paplay"), {QStringLiteral("-d"), sink, speech});
    ASSERT_TRUE(waitUntil([&] { return player.state() == QProcess::NotRunning; },
                          "paplay to finish", std::chrono::seconds(20)));
    ASSERT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
    // The monitor lags the sink a little: keep recording a further 0.4 s
    // of captured audio so the last word is in.
    const qint64 target = capturedFrames + qint64(inputFormat.sampleRate * 0.4);
    ASSERT_TRUE(waitUntil([&] { return capturedFrames >= target; }, "the tail of the speech"));

    const RecordingSessionOutput output = service.stop(true);
    ASSERT_TRUE(output.audioURL.has_value());
    EXPECT_TRUE(wholeBuffers);

    // recordings/<UPPER-UUID>.m4a in the data folder.
    const QFileInfo file(*output.audioURL);
    EXPECT_EQ(file.absolutePath(),
              QDir(folders.dataFolder()).filePath(QStringLiteral("recordings")));
    EXPECT_EQ(file.suffix(), QStringLiteral("m4a"));
    EXPECT_TRUE(uuidtext::parse(file.completeBaseName()).has_value());
    EXPECT_EQ(file.completeBaseName(), file.completeBaseName().toUpper());

    // The meter starts and ends idle, and moved while the voice played.
    ASSERT_GE(levels.size(), 3u);
    EXPECT_EQ(levels.front(), AudioCaptureService::idleLevels());
    EXPECT_EQ(levels.back(), AudioCaptureService::idleLevels());
    EXPECT_TRUE(std::any_of(levels.begin(), levels.end(),
                            [](const QList<double> &bars) { return bars[0] > 0.3; }));

    // AAC at the input's rate and channels, at the expected bit rate.
    const auto facts = tovalit::testing::probeMediaFile(*output.audioURL);
    EXPECT_EQ(facts.value(QStringLiteral("codec_name")), QStringLiteral("aac"));
    EXPECT_EQ(facts.value(QStringLiteral("sample_rate")).toDouble(), inputFormat.sampleRate);
    EXPECT_EQ(facts.value(QStringLiteral("channels")).toInt(), inputFormat.channelCount);
    EXPECT_NEAR(facts.value(QStringLiteral("bit_rate")).toDouble(), expectedBitRate,
                bitRateTolerance);

    // Decoded by FFmpeg: as long as the recording (nothing lost between
    // start and stop), and the voice in it as long as the voice played.
    const DecodedAudio recorded = decodeAudioFile(*output.audioURL);
    EXPECT_EQ(recorded.sampleRate, inputFormat.sampleRate);
    EXPECT_EQ(recorded.channelCount, inputFormat.channelCount);
    EXPECT_NEAR(recorded.seconds(), double(capturedFrames) / inputFormat.sampleRate, 0.1);
    EXPECT_NEAR(recorded.seconds(), output.duration, output.duration * 0.1);
    EXPECT_NEAR(recorded.voicedSeconds(), spoken.voicedSeconds(), spoken.voicedSeconds() * 0.1);
    if (recordedFile)
        *recordedFile = *output.audioURL;
}

TEST_F(AudioCaptureIntegrationTest, RecordsSpokenWordsFromTheSessionMicrophone) {
    const QString speech = scratch.filePath(QStringLiteral("speech.wav"));
    ASSERT_EQ(synthesizeSpeech(QStringLiteral("Dictation test: one, two, three, four."), speech,
                               {QStringLiteral("-s"), QStringLiteral("150")}),
              std::nullopt);
    // The session's microphone runs at 16 kHz mono, where the 96 kb/s asked
    // for is the most AAC can carry (6144 bits per frame and channel) and
    // far more than speech fills: the writer aims at three bits a sample,
    // 48 kb/s, and the quiet stretches take less.
    QString recording;
    recordSpeechAndCheckTheFile(folders, speech, QStringLiteral("vsink"), 45000, 11000, &recording);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_FALSE(recording.isEmpty());

    // The recording goes to whole-file recognition as 16 kHz mono PCM of
    // its own length.
    StandInHttpServer gateway;
    gateway.enqueue(StandInHttpReply::json(200, R"({"result":[{"text":"one two three four"}]})"));
    VellupSpeechConfiguration configuration;
    configuration.language = QStringLiteral("en-US");
    configuration.gatewayBaseURL = gateway.url(QStringLiteral("/"));
    configuration.gatewaySessionToken = QStringLiteral("token");
    VellupAudioFileTranscriber transcriber(configuration, std::nullopt,
                                           std::make_shared<NetworkHttpTransport>());
    EXPECT_EQ(runTask(transcriber.transcribe(recording)), QStringLiteral("one two three four"));
    ASSERT_EQ(gateway.requests().size(), 1u);
    const QByteArray pcm =
        QByteArray::fromBase64(QJsonDocument::fromJson(gateway.requests()[0].body)
                                   .object()
                                   .value(QStringLiteral("audioBase64"))
                                   .toString()
                                   .toLatin1());
    EXPECT_NEAR(double(pcm.size()) / 32000, decodeAudioFile(recording).seconds(), 0.02);
}

TEST_F(AudioCaptureIntegrationTest, RecordsAStereoFloatSourceAtItsOwnRate) {
    TOVALIT_REQUIRE_ENVIRONMENT(hasTool(QStringLiteral("sox")), "sox is needed");
    ScopedTestSource source(QStringLiteral("tovalit_test_stereo"),
                            QStringLiteral("rate=48000 channels=2 format=float32le"));
    ASSERT_TRUE(source.isValid());
    ASSERT_EQ(PulseAudioInput().inputFormat(), (PcmFormat{48000, 2, PcmSampleType::Float32, true}));
    const QString voice = scratch.filePath(QStringLiteral("voice.wav"));
    ASSERT_EQ(synthesizeSpeech(QStringLiteral("Please type this sentence into the editor."), voice,
                               {QStringLiteral("-s"), QStringLiteral("150")}),
              std::nullopt);
    // A real microphone is never digitally silent: faint room noise under
    // the voice, throughout, so the encoder works at its target rate from
    // the first frame to the last.
    const QString stereo = scratch.filePath(QStringLiteral("stereo.wav"));
    const QString noise = scratch.filePath(QStringLiteral("noise.wav"));
    const QString speech = scratch.filePath(QStringLiteral("speech.wav"));
    ASSERT_EQ(runTool(QStringLiteral("sox"),
                      {QStringLiteral("-q"), voice, QStringLiteral("-r"), QStringLiteral("48000"),
                       QStringLiteral("-c"), QStringLiteral("2"), stereo, QStringLiteral("pad"),
                       QStringLiteral("0"), QStringLiteral("1")}),
              std::nullopt);
    ASSERT_EQ(
        runTool(QStringLiteral("sox"),
                {QStringLiteral("-q"), QStringLiteral("-n"), QStringLiteral("-r"),
                 QStringLiteral("48000"), QStringLiteral("-c"), QStringLiteral("2"), noise,
                 QStringLiteral("synth"), QString::number(decodeAudioFile(stereo).seconds()),
                 QStringLiteral("whitenoise"), QStringLiteral("vol"), QStringLiteral("0.003")}),
        std::nullopt);
    ASSERT_EQ(runTool(QStringLiteral("sox"),
                      {QStringLiteral("-q"), QStringLiteral("-m"), stereo, noise, speech}),
              std::nullopt);
    // On a loaded machine the player can stall, and the stretches of digital
    // silence it leaves cost the encoder fewer bits; 15 % still tells 96 kb/s
    // from the encoder's other usual rates (64 and 128 kb/s).
    recordSpeechAndCheckTheFile(folders, speech, QStringLiteral("tovalit_test_stereo"), 96000,
                                96000 * 0.15);
}

TEST_F(AudioCaptureIntegrationTest, ADiscardedRecordingLeavesNoFile) {
    AudioCaptureService service;
    std::atomic<int> buffers{0};
    service.setOnBuffer([&](const PcmBuffer &, const AudioTime &) { ++buffers; });
    runTask(service.start(), std::chrono::seconds(15));
    ASSERT_TRUE(waitUntil([&] { return buffers >= 5; }, "a few captured buffers"));
    const RecordingSessionOutput output = service.stop(false);
    EXPECT_EQ(output.audioURL, std::nullopt);
    EXPECT_GT(output.duration, 0.0);
    const QDir recordings(QDir(folders.dataFolder()).filePath(QStringLiteral("recordings")));
    EXPECT_TRUE(recordings.entryList(QDir::Files).isEmpty());
}

} // namespace
