#pragma once

#include "services/gateway/gateway_session.h"

#include <QUrl>
#include <qcoro/qcorotask.h>

#include <memory>

namespace tovalit {

class HttpTransport;

// The two session calls of the gateway: device registration and session
// refresh. Immutable; never retries, never logs.
class GatewayClient {
public:
    GatewayClient(QUrl baseURL, std::shared_ptr<HttpTransport> transport);

    const QUrl &baseURL() const { return m_baseURL; }

    // POST /api/client/register. Throws GatewayClientError for a non-2xx
    // or undecodable reply and HttpTransportError when no reply arrives.
    QCoro::Task<GatewaySession> registerDevice(GatewayRegistrationRequest request);
    // POST /api/client/refresh, with the same failures.
    QCoro::Task<GatewaySession> refreshSession(GatewayRefreshRequest request);

    // The message of a failed reply: the JSON "message" when it is a
    // non-blank string (as received), else the body trimmed when it is
    // non-blank UTF-8, else "未知错误".
    static QString serverMessage(const QByteArray &body);
    // The session of a 2xx reply: {"session": {...}}. Throws
    // GatewayClientError::invalidResponse for any other body.
    static GatewaySession decodeSessionReply(const QByteArray &body);

private:
    QCoro::Task<GatewaySession> requestSession(QString path, QByteArray payload);

    QUrl m_baseURL;
    std::shared_ptr<HttpTransport> m_transport;
};

} // namespace tovalit
