#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

class GatewayClientError : public AppError {
public:
    enum class Kind { requestFailed, invalidBaseURL, invalidResponse };

    // A non-2xx reply: its status and the server's message.
    static GatewayClientError requestFailed(int status, QString message);
    static GatewayClientError invalidBaseURL();
    static GatewayClientError invalidResponse();

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    QString message() const { return m_message; }
    // "网关请求失败（401）：<message>", "网关地址无效。",
    // "网关返回了无法解析的数据。".
    QString localizedDescription() const override;

private:
    GatewayClientError(Kind kind, int status, QString message);

    Kind m_kind;
    int m_status;
    QString m_message;
};

} // namespace tovalit
