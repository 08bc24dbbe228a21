#pragma once

#include "models/vellup_speech_configuration.h"
#include "models/vellup_speech_lexicon_configuration.h"
#include "platform/pcm_buffer.h"
#include "services/speech/vellup_audio_file_transcriber_error.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class HttpTransport;

// Turns one recorded audio file into text with a single whole-file
// recognition request: through the gateway when a gateway session is in
// use, else straight to the speech service with the app credentials.
// Immutable; calls are independent of each other.
class VellupAudioFileTranscriber {
public:
    VellupAudioFileTranscriber(VellupSpeechConfiguration configuration,
                               std::optional<VellupSpeechLexiconConfiguration> lexiconConfiguration,
                               std::shared_ptr<HttpTransport> session,
                               QUrl directEndpointURL = endpointURL());

    // The recognised text, trimmed, never empty. Throws
    // VellupAudioFileTranscriberError, or passes on the file layer's
    // AudioFileError, the transport's HttpTransportError and JsonReadError
    // for a reply that is not JSON.
    QCoro::Task<QString> transcribe(QString audioFileAt);

    // The whole-file recognition endpoint of the speech service.
    static QUrl endpointURL();
    // 16 kHz mono 16-bit PCM, what the service takes.
    static PcmFormat targetAudioFormat();

    // The pieces of a request and a reply, open for tests.
    static QByteArray convertAudioFileToPCMData(const QString &path);
    static QUrl gatewayFileURL(const QUrl &gatewayBaseURL);
    static QJsonObject
    gatewayPayload(const QString &audioBase64, const VellupSpeechConfiguration &configuration,
                   const std::optional<VellupSpeechLexiconConfiguration> &lexicon,
                   const QString &requestID);
    static QJsonObject
    requestPayload(const QString &audioBase64, const VellupSpeechConfiguration &configuration,
                   const std::optional<VellupSpeechLexiconConfiguration> &lexicon,
                   const QString &requestID);
    static std::optional<QString> inlineHotwordContext(const QStringList &hotwords);
    static QString extractTranscript(const QByteArray &body);
    static QString serverMessage(const QByteArray &body);

private:
    VellupSpeechConfiguration m_configuration;
    std::optional<VellupSpeechLexiconConfiguration> m_lexiconConfiguration;
    std::shared_ptr<HttpTransport> m_session;
    QUrl m_endpointURL;
};

} // namespace tovalit
