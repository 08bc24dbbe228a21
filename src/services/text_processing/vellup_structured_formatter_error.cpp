#include "services/text_processing/vellup_structured_formatter_error.h"

namespace tovalit {

VellupStructuredFormatterError::VellupStructuredFormatterError(Kind kind, int status,
                                                               QString message)
    : m_kind(kind)
    , m_status(status)
    , m_message(std::move(message)) {}

VellupStructuredFormatterError VellupStructuredFormatterError::serverError(int status,
                                                                           QString message) {
    return VellupStructuredFormatterError(Kind::serverError, status, std::move(message));
}

VellupStructuredFormatterError VellupStructuredFormatterError::invalidRequest() {
    return VellupStructuredFormatterError(Kind::invalidRequest);
}

VellupStructuredFormatterError VellupStructuredFormatterError::invalidResponse() {
    return VellupStructuredFormatterError(Kind::invalidResponse);
}

VellupStructuredFormatterError VellupStructuredFormatterError::emptyContent() {
    return VellupStructuredFormatterError(Kind::emptyContent);
}

VellupStructuredFormatterError VellupStructuredFormatterError::emptyStructuredResult() {
    return VellupStructuredFormatterError(Kind::emptyStructuredResult);
}

QString VellupStructuredFormatterError::localizedDescription() const {
    switch (m_kind) {
    case Kind::serverError:
        return QStringLiteral("整理请求失败（") + QString::number(m_status) +
               QStringLiteral("）：") + m_message;
    case Kind::invalidRequest:
        return QStringLiteral("整理请求构造失败，请稍后重试。");
    case Kind::invalidResponse:
        return QStringLiteral("整理返回了无法解析的内容。");
    case Kind::emptyContent:
        return QStringLiteral("整理没有返回可用内容。");
    case Kind::emptyStructuredResult:
        return QStringLiteral("整理没有产出可用文本。");
    }
    return {};
}

JsonReplyParseError::JsonReplyParseError(QString reason)
    : m_reason(std::move(reason)) {}

QString JsonReplyParseError::localizedDescription() const {
    return joinedWithDetail(QStringLiteral("返回的数据不是有效的 JSON"), m_reason);
}

} // namespace tovalit
