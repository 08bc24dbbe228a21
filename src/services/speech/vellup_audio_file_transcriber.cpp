#include "services/speech/vellup_audio_file_transcriber.h"

#include "platform/audio_file_error.h"
#include "platform/audio_file_reader.h"
#include "platform/pcm_converter.h"
#include "services/gateway/gateway_url.h"
#include "support/http_transport.h"
#include "support/json_read_error.h"
#include "support/json_text.h"
#include "support/run_in_background.h"
#include "support/textkit.h"
#include "support/uuid_text.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <chrono>

namespace tovalit {

namespace {

using Error = VellupAudioFileTranscriberError;

constexpr int decodingBlockFrames = 2048;
constexpr auto requestTimeout = std::chrono::seconds(30);

QByteArray compactJson(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void appendSamples(QByteArray &data, const PcmBuffer &block) {
    data.append(reinterpret_cast<const char *>(block.data(0)), block.byteSize(0));
}

std::function<QByteArray()> conversionOf(QString path) {
    return [path] { return VellupAudioFileTranscriber::convertAudioFileToPCMData(path); };
}

HttpRequest gatewayRequest(const VellupSpeechConfiguration &configuration,
                           const std::optional<VellupSpeechLexiconConfiguration> &lexicon,
                           const QString &audioBase64, const QString &requestID) {
    HttpRequest request;
    request.method = "POST";
    request.url = VellupAudioFileTranscriber::gatewayFileURL(*configuration.gatewayBaseURL);
    request.timeout = requestTimeout;
    request.headers = {{"Content-Type", "application/json"},
                       {"Authorization", "Bearer " + configuration.gatewaySessionToken->toUtf8()}};
    request.body = compactJson(
        VellupAudioFileTranscriber::gatewayPayload(audioBase64, configuration, lexicon, requestID));
    return request;
}

HttpRequest directRequest(const QUrl &endpoint, const VellupSpeechConfiguration &configuration,
                          const std::optional<VellupSpeechLexiconConfiguration> &lexicon,
                          const QString &audioBase64, const QString &requestID) {
    if (configuration.appID.isEmpty() || configuration.accessToken.isEmpty())
        throw Error(Error::Kind::missingCredentials);
    HttpRequest request;
    request.method = "POST";
    request.url = endpoint;
    request.timeout = requestTimeout;
    // "Bearer;" with no blank is what the service's whole-file API expects.
    request.headers = {{"Content-Type", "application/json"},
                       {"Authorization", "Bearer;" + configuration.accessToken.toUtf8()}};
    request.body = compactJson(
        VellupAudioFileTranscriber::requestPayload(audioBase64, configuration, lexicon, requestID));
    return request;
}

// By-value parameters: the recogniser that started the call may be gone
// before the reply arrives.
QCoro::Task<QString> recognise(QString path, VellupSpeechConfiguration configuration,
                               std::optional<VellupSpeechLexiconConfiguration> lexicon,
                               std::shared_ptr<HttpTransport> session, QUrl endpoint) {
    // Decoding a long recording takes a while: not on the GUI thread.
    const QByteArray pcm = co_await runInBackground<QByteArray>(conversionOf(path));
    if (pcm.isEmpty())
        throw Error(Error::Kind::invalidAudioFile);
    const QString audioBase64 = QString::fromLatin1(pcm.toBase64());
    const QString requestID = uuidtext::newLower();

    HttpRequest request =
        configuration.usesGateway()
            ? gatewayRequest(configuration, lexicon, audioBase64, requestID)
            : directRequest(endpoint, configuration, lexicon, audioBase64, requestID);
    const HttpResponse response = co_await session->send(std::move(request));
    if (response.status <= 0)
        throw Error(Error::Kind::invalidResponse);
    if (response.isSuccess())
        co_return VellupAudioFileTranscriber::extractTranscript(response.body);
    throw Error::requestFailed(response.status,
                               VellupAudioFileTranscriber::serverMessage(response.body));
}

} // namespace

VellupAudioFileTranscriber::VellupAudioFileTranscriber(
    VellupSpeechConfiguration configuration,
    std::optional<VellupSpeechLexiconConfiguration> lexiconConfiguration,
    std::shared_ptr<HttpTransport> session, QUrl directEndpointURL)
    : m_configuration(std::move(configuration))
    , m_lexiconConfiguration(std::move(lexiconConfiguration))
    , m_session(std::move(session))
    , m_endpointURL(std::move(directEndpointURL)) {}

QCoro::Task<QString> VellupAudioFileTranscriber::transcribe(QString audioFileAt) {
    return recognise(std::move(audioFileAt), m_configuration, m_lexiconConfiguration, m_session,
                     m_endpointURL);
}

QUrl VellupAudioFileTranscriber::endpointURL() {
    // Fixed when the program is built (see TOVALIT_SPEECH_FILE_ENDPOINT).
    return QUrl(QStringLiteral(TOVALIT_SPEECH_FILE_ENDPOINT));
}

PcmFormat VellupAudioFileTranscriber::targetAudioFormat() {
    return {16000, 1, PcmSampleType::Int16, true};
}

QByteArray VellupAudioFileTranscriber::convertAudioFileToPCMData(const QString &path) {
    AudioFileReader reader(path);
    // One converter for the whole file: the resampler's filter then runs
    // across block boundaries instead of restarting (and clicking) at each.
    std::optional<PcmConverter> converter;
    try {
        converter.emplace(reader.processingFormat(), targetAudioFormat());
    } catch (const AudioFileError &) {
        throw Error(Error::Kind::unsupportedAudioFormat);
    }
    QByteArray data;
    for (;;) {
        const PcmBuffer block = reader.read(decodingBlockFrames);
        if (block.frameLength() == 0)
            break;
        appendSamples(data, converter->convert(block));
    }
    appendSamples(data, converter->flush());
    return data;
}

QUrl VellupAudioFileTranscriber::gatewayFileURL(const QUrl &gatewayBaseURL) {
    return gatewayURL(gatewayBaseURL, u"api/proxy/asr-file");
}

QJsonObject VellupAudioFileTranscriber::gatewayPayload(
    const QString &audioBase64, const VellupSpeechConfiguration &configuration,
    const std::optional<VellupSpeechLexiconConfiguration> &lexicon, const QString &requestID) {
    QJsonObject payload{{QStringLiteral("audioBase64"), audioBase64},
                        {QStringLiteral("language"), configuration.language},
                        {QStringLiteral("requestId"), requestID}};
    QJsonObject lexiconObject;
    if (lexicon) {
        if (lexicon->boostingTableName)
            lexiconObject.insert(QStringLiteral("boostingTableName"), *lexicon->boostingTableName);
        if (lexicon->correctTableName)
            lexiconObject.insert(QStringLiteral("correctTableName"), *lexicon->correctTableName);
        if (!lexicon->inlineHotwords.isEmpty())
            lexiconObject.insert(QStringLiteral("inlineHotwords"),
                                 QJsonArray::fromStringList(lexicon->inlineHotwords));
    }
    if (!lexiconObject.isEmpty())
        payload.insert(QStringLiteral("lexicon"), lexiconObject);
    return payload;
}

QJsonObject VellupAudioFileTranscriber::requestPayload(
    const QString &audioBase64, const VellupSpeechConfiguration &configuration,
    const std::optional<VellupSpeechLexiconConfiguration> &lexicon, const QString &requestID) {
    QJsonObject request{{QStringLiteral("reqid"), requestID},
                        {QStringLiteral("sequence"), -1},
                        {QStringLiteral("nbest"), 1},
                        {QStringLiteral("show_utterances"), true},
                        {QStringLiteral("enable_itn"), true}};
    if (lexicon) {
        QJsonObject corpus;
        if (lexicon->boostingTableName)
            corpus.insert(QStringLiteral("boosting_table_name"), *lexicon->boostingTableName);
        if (lexicon->correctTableName)
            corpus.insert(QStringLiteral("correct_table_name"), *lexicon->correctTableName);
        if (const auto context = inlineHotwordContext(lexicon->inlineHotwords))
            corpus.insert(QStringLiteral("context"), *context);
        if (!corpus.isEmpty())
            request.insert(QStringLiteral("corpus"), corpus);
    }
    return {
        {QStringLiteral("app"),
         QJsonObject{{QStringLiteral("appid"), configuration.appID},
                     {QStringLiteral("token"), configuration.accessToken},
                     {QStringLiteral("cluster"), QStringLiteral("volcengine_streaming_common")}}},
        {QStringLiteral("user"),
         QJsonObject{{QStringLiteral("uid"), QStringLiteral("vellup-transcriber-mac")}}},
        {QStringLiteral("audio"), QJsonObject{{QStringLiteral("format"), QStringLiteral("pcm")},
                                              {QStringLiteral("rate"), 16000},
                                              {QStringLiteral("bits"), 16},
                                              {QStringLiteral("channel"), 1},
                                              {QStringLiteral("language"), configuration.language},
                                              {QStringLiteral("data"), audioBase64}}},
        {QStringLiteral("request"), request},
    };
}

std::optional<QString>
VellupAudioFileTranscriber::inlineHotwordContext(const QStringList &hotwords) {
    if (hotwords.isEmpty())
        return std::nullopt;
    QJsonArray words;
    for (const QString &word : hotwords)
        words.append(QJsonObject{{QStringLiteral("word"), word}});
    return QString::fromUtf8(compactJson(QJsonObject{{QStringLiteral("hotwords"), words}}));
}

QString VellupAudioFileTranscriber::extractTranscript(const QByteArray &body) {
    QJsonParseError parseError;
    const QJsonDocument document = json::parse(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw JsonReadError(parseError.errorString());
    if (!document.isObject())
        throw Error(Error::Kind::invalidResponse);
    const QJsonValue result = document.object().value(QStringLiteral("result"));

    std::optional<QString> text;
    if (result.isArray()) {
        // Only a list made wholly of objects counts, as the service sends it.
        const QJsonArray results = result.toArray();
        const bool allObjects = std::all_of(results.begin(), results.end(),
                                            [](const QJsonValue &item) { return item.isObject(); });
        const QJsonValue first = results.isEmpty() || !allObjects
                                     ? QJsonValue()
                                     : results.first().toObject().value(QStringLiteral("text"));
        if (first.isString())
            text = first.toString();
    } else if (result.isObject()) {
        const QJsonValue value = result.toObject().value(QStringLiteral("text"));
        if (value.isString())
            text = value.toString();
    }
    const QString trimmed = text ? textkit::trimmed(*text) : QString();
    if (trimmed.isEmpty())
        throw Error(Error::Kind::emptyTranscript);
    return trimmed;
}

QString VellupAudioFileTranscriber::serverMessage(const QByteArray &body) {
    // The whole body, not its JSON "message": a gateway's error body is
    // carried verbatim.
    if (const auto text = textkit::decodeUtf8Strict(body)) {
        const QString trimmed = textkit::trimmed(*text);
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return QStringLiteral("未知错误");
}

} // namespace tovalit
