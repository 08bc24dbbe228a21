#include "services/gateway/gateway_client_error.h"

namespace tovalit {

GatewayClientError::GatewayClientError(Kind kind, int status, QString message)
    : m_kind(kind)
    , m_status(status)
    , m_message(std::move(message)) {}

GatewayClientError GatewayClientError::requestFailed(int status, QString message) {
    return GatewayClientError(Kind::requestFailed, status, std::move(message));
}

GatewayClientError GatewayClientError::invalidBaseURL() {
    return GatewayClientError(Kind::invalidBaseURL, 0, {});
}

GatewayClientError GatewayClientError::invalidResponse() {
    return GatewayClientError(Kind::invalidResponse, 0, {});
}

QString GatewayClientError::localizedDescription() const {
    switch (m_kind) {
    case Kind::requestFailed:
        return QStringLiteral("网关请求失败（") + QString::number(m_status) +
               QStringLiteral("）：") + m_message;
    case Kind::invalidBaseURL:
        return QStringLiteral("网关地址无效。");
    case Kind::invalidResponse:
        return QStringLiteral("网关返回了无法解析的数据。");
    }
    return {};
}

} // namespace tovalit
