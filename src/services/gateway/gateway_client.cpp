#include "services/gateway/gateway_client.h"

#include "services/gateway/gateway_client_error.h"
#include "services/gateway/gateway_url.h"
#include "support/http_transport.h"
#include "support/json_text.h"
#include "support/textkit.h"

namespace tovalit {

GatewayClient::GatewayClient(QUrl baseURL, std::shared_ptr<HttpTransport> transport)
    : m_baseURL(std::move(baseURL))
    , m_transport(std::move(transport)) {}

QCoro::Task<GatewaySession> GatewayClient::registerDevice(GatewayRegistrationRequest request) {
    co_return co_await requestSession(QStringLiteral("/api/client/register"),
                                      request.toCompactJson());
}

QCoro::Task<GatewaySession> GatewayClient::refreshSession(GatewayRefreshRequest request) {
    co_return co_await requestSession(QStringLiteral("/api/client/refresh"),
                                      request.toCompactJson());
}

QCoro::Task<GatewaySession> GatewayClient::requestSession(QString path, QByteArray payload) {
    HttpRequest request;
    request.method = "POST";
    request.url = gatewayURL(m_baseURL, path);
    request.headers = {{"Content-Type", "application/json; charset=utf-8"}};
    request.body = std::move(payload);
    request.timeout = std::chrono::seconds(60);

    const HttpResponse response = co_await m_transport->send(std::move(request));
    if (!response.isSuccess())
        throw GatewayClientError::requestFailed(response.status, serverMessage(response.body));

    co_return decodeSessionReply(response.body);
}

GatewaySession GatewayClient::decodeSessionReply(const QByteArray &body) {
    const auto envelope = json::parseObject(body);
    const auto session = envelope ? json::object(*envelope, u"session") : std::nullopt;
    const auto decoded = session ? GatewaySession::fromJson(*session) : std::nullopt;
    if (!decoded)
        throw GatewayClientError::invalidResponse();
    return *decoded;
}

QString GatewayClient::serverMessage(const QByteArray &body) {
    if (const auto object = json::parseObject(body)) {
        const auto message = json::string(*object, u"message");
        if (message && !textkit::isBlank(*message))
            return *message;
    }
    if (const auto text = textkit::decodeUtf8Strict(body)) {
        const QString trimmed = textkit::trimmed(*text);
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return QStringLiteral("未知错误");
}

} // namespace tovalit
