#include "services/learning/vellup_history_term_extractor_error.h"

namespace tovalit {

VellupHistoryTermExtractorError::VellupHistoryTermExtractorError(Kind kind, int status,
                                                                 QString message)
    : m_kind(kind)
    , m_status(status)
    , m_message(std::move(message)) {}

VellupHistoryTermExtractorError VellupHistoryTermExtractorError::serverError(int status,
                                                                             QString message) {
    return VellupHistoryTermExtractorError(Kind::serverError, status, std::move(message));
}

VellupHistoryTermExtractorError VellupHistoryTermExtractorError::invalidRequest() {
    return VellupHistoryTermExtractorError(Kind::invalidRequest);
}

VellupHistoryTermExtractorError VellupHistoryTermExtractorError::invalidResponse() {
    return VellupHistoryTermExtractorError(Kind::invalidResponse);
}

VellupHistoryTermExtractorError VellupHistoryTermExtractorError::emptyContent() {
    return VellupHistoryTermExtractorError(Kind::emptyContent);
}

VellupHistoryTermExtractorError VellupHistoryTermExtractorError::invalidJSON() {
    return VellupHistoryTermExtractorError(Kind::invalidJSON);
}

QString VellupHistoryTermExtractorError::localizedDescription() const {
    switch (m_kind) {
    case Kind::serverError:
        return QStringLiteral("历史术语抽取失败（") + QString::number(m_status) +
               QStringLiteral("）：") + m_message;
    case Kind::invalidRequest:
        return QStringLiteral("历史术语抽取请求构造失败。");
    case Kind::invalidResponse:
        return QStringLiteral("历史术语抽取返回了无法解析的内容。");
    case Kind::emptyContent:
        return QStringLiteral("历史术语抽取没有返回内容。");
    case Kind::invalidJSON:
        return QStringLiteral("历史术语抽取没有返回合法 JSON。");
    }
    return {};
}

bool VellupHistoryTermExtractorError::operator==(
    const VellupHistoryTermExtractorError &other) const {
    return m_kind == other.m_kind && m_status == other.m_status && m_message == other.m_message;
}

} // namespace tovalit
