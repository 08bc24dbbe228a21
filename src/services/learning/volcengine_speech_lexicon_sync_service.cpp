#include "services/learning/volcengine_speech_lexicon_sync_service.h"

#include "services/learning/volcengine_open_api_signer.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/json_text.h"
#include "support/textkit.h"
#include "support/uuid_text.h"

#include <QJsonDocument>
#include <QJsonParseError>

// The signed transport of the service: request bodies, signing, sending and
// the reply checks. The table operations live in
// volcengine_speech_lexicon_sync_tables.cpp.

namespace tovalit {

namespace {

const QString jsonContentType = QStringLiteral("application/json; charset=utf-8");

QCoro::Task<QJsonObject> send(std::shared_ptr<HttpTransport> session, HttpRequest request) {
    const HttpResponse response = co_await session->send(std::move(request));
    co_return VolcengineSpeechLexiconSyncService::checkedReply(response);
}

// Signing happens inside the task, so a bad host setting reaches the caller
// through the task like any transport failure.
QCoro::Task<QJsonObject> signAndSend(std::shared_ptr<HttpTransport> session,
                                     VolcengineOpenAPISigner signer, QString action,
                                     QString version, QByteArray body, QString contentType) {
    HttpRequest request = signer.signedRequest(action, version, body, contentType);
    co_return co_await send(std::move(session), std::move(request));
}

} // namespace

VolcengineSpeechLexiconSyncService::VolcengineSpeechLexiconSyncService(
    std::optional<VolcengineSpeechOpenAPIConfiguration> configuration,
    std::optional<GatewayLexiconSyncConfiguration> gatewayConfiguration,
    std::shared_ptr<HttpTransport> session, QString openAPIHost, Clock nowProvider,
    BoundaryGenerator makeBoundary)
    : m_configuration(std::move(configuration))
    , m_gatewayConfiguration(std::move(gatewayConfiguration))
    , m_session(session ? std::move(session) : VellupStructuredFormatter::liveTransport())
    , m_openAPIHost(std::move(openAPIHost))
    , m_nowProvider(nowProvider ? std::move(nowProvider) : systemClock())
    , m_makeBoundary(makeBoundary ? std::move(makeBoundary) : defaultBoundary) {}

QCoro::Task<QJsonObject> VolcengineSpeechLexiconSyncService::performJSONRequest(
    QString action, QString version, QJsonObject payload,
    VolcengineSpeechOpenAPIConfiguration configuration) const {
    return signAndSend(
        m_session, VolcengineOpenAPISigner(std::move(configuration), m_openAPIHost, m_nowProvider),
        std::move(action), std::move(version), json::compact(payload), jsonContentType);
}

QCoro::Task<QJsonObject> VolcengineSpeechLexiconSyncService::performMultipartRequest(
    QString action, QString version, QMap<QString, QString> formFields, QString fileName,
    QString fileContent, VolcengineSpeechOpenAPIConfiguration configuration) const {
    const QString boundary = m_makeBoundary();
    return signAndSend(
        m_session, VolcengineOpenAPISigner(std::move(configuration), m_openAPIHost, m_nowProvider),
        std::move(action), std::move(version),
        makeMultipartBody(boundary, formFields, fileName, fileContent),
        QStringLiteral("multipart/form-data; boundary=") + boundary +
            QStringLiteral("; charset=utf-8"));
}

QCoro::Task<QJsonObject> VolcengineSpeechLexiconSyncService::perform(HttpRequest request) const {
    return send(m_session, std::move(request));
}

QJsonObject VolcengineSpeechLexiconSyncService::checkedReply(const HttpResponse &response) {
    if (response.status <= 0)
        throw VolcengineSpeechLexiconSyncError::invalidResponse();
    if (!response.isSuccess()) {
        throw VolcengineSpeechLexiconSyncError::requestFailed(response.status,
                                                              serverMessage(response.body));
    }

    QJsonParseError parseError{};
    const QJsonDocument document = json::parse(response.body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw JsonReplyParseError(parseError.errorString() + QStringLiteral(" (offset ") +
                                  QString::number(parseError.offset) + u')');
    }
    if (document.isArray())
        throw VolcengineSpeechLexiconSyncError::invalidResponse();
    if (!document.isObject())
        throw JsonReplyParseError(QStringLiteral("top level is neither an object nor an array"));

    const QJsonObject reply = document.object();
    // The service reports many failures with a 2xx status and an error
    // object; anything but an object (null included) means no error.
    const QJsonValue metadata = reply.value(u"ResponseMetadata");
    const QJsonValue error = metadata.toObject().value(u"Error");
    if (metadata.isObject() && error.isObject()) {
        const QJsonValue message = error.toObject().value(u"Message");
        throw VolcengineSpeechLexiconSyncError::requestFailed(
            response.status,
            message.isString() ? message.toString() : serverMessage(response.body));
    }
    return reply;
}

QString VolcengineSpeechLexiconSyncService::serverMessage(QByteArrayView body) {
    if (const auto reply = json::parseObject(body)) {
        const auto metadata = json::object(*reply, u"ResponseMetadata");
        const auto error = metadata ? json::object(*metadata, u"Error") : std::nullopt;
        const auto message = error ? json::string(*error, u"Message") : std::nullopt;
        // The service's own words, exactly as sent.
        if (message && !textkit::isBlank(*message))
            return *message;
    }
    if (const auto text = textkit::decodeUtf8Strict(body); text && !textkit::isBlank(*text))
        return textkit::trimmed(*text);
    return QStringLiteral("未知错误");
}

QByteArray VolcengineSpeechLexiconSyncService::makeMultipartBody(
    const QString &boundary, const QMap<QString, QString> &formFields, const QString &fileName,
    const QString &fileContent) {
    // Written by hand: the boundary and content type must be exactly the
    // signed ones, and the service expects this precise layout.
    static constexpr char crlf[] = "\r\n";
    const QByteArray delimiter = "--" + boundary.toUtf8() + crlf;
    QByteArray body;
    for (auto field = formFields.cbegin(); field != formFields.cend(); ++field) {
        body += delimiter;
        body +=
            "Content-Disposition: form-data; name=\"" + field.key().toUtf8() + '"' + crlf + crlf;
        body += field.value().toUtf8() + crlf;
    }
    body += delimiter;
    body += "Content-Disposition: form-data; name=\"File\"; filename=\"" + fileName.toUtf8() + '"' +
            crlf;
    body += QByteArray("Content-Type: text/plain") + crlf + crlf;
    body += fileContent.toUtf8() + crlf;
    body += "--" + boundary.toUtf8() + "--" + crlf;
    return body;
}

QString VolcengineSpeechLexiconSyncService::defaultBoundary() {
    return QStringLiteral("Boundary-") + uuidtext::newUpper();
}

} // namespace tovalit
