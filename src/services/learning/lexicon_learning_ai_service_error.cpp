#include "services/learning/lexicon_learning_ai_service_error.h"

namespace tovalit {

LexiconLearningAIServiceError::LexiconLearningAIServiceError(Kind kind)
    : m_kind(kind) {}

LexiconLearningAIServiceError
LexiconLearningAIServiceError::invalidResponse(std::optional<QString> rawContent,
                                               QStringList jsonCandidates) {
    LexiconLearningAIServiceError error(Kind::invalidResponse);
    error.m_rawContent = std::move(rawContent);
    error.m_jsonCandidates = std::move(jsonCandidates);
    return error;
}

LexiconLearningAIServiceError
LexiconLearningAIServiceError::serverError(int status, QString message,
                                           std::optional<QDateTime> resetAt) {
    LexiconLearningAIServiceError error(Kind::serverError);
    error.m_status = status;
    error.m_message = std::move(message);
    error.m_resetAt = std::move(resetAt);
    return error;
}

LexiconLearningAIServiceError LexiconLearningAIServiceError::invalidRequest() {
    return LexiconLearningAIServiceError(Kind::invalidRequest);
}

LexiconLearningAIServiceError LexiconLearningAIServiceError::emptyContent() {
    return LexiconLearningAIServiceError(Kind::emptyContent);
}

std::optional<QString> LexiconLearningAIServiceError::rawContentForAudit() const {
    switch (m_kind) {
    case Kind::invalidResponse:
        return m_rawContent;
    case Kind::serverError:
        return m_message;
    case Kind::invalidRequest:
    case Kind::emptyContent:
        break;
    }
    return std::nullopt;
}

std::optional<QStringList> LexiconLearningAIServiceError::jsonCandidatesForAudit() const {
    if (m_kind == Kind::invalidResponse)
        return m_jsonCandidates;
    return std::nullopt;
}

std::optional<QDateTime> LexiconLearningAIServiceError::rateLimitResetAt() const {
    if (m_kind == Kind::serverError && m_status == 429)
        return m_resetAt;
    return std::nullopt;
}

QString LexiconLearningAIServiceError::localizedDescription() const {
    switch (m_kind) {
    case Kind::invalidResponse:
        return QStringLiteral("词库学习分析返回了无法解析的内容。");
    case Kind::serverError:
        return QStringLiteral("词库学习分析失败（") + QString::number(m_status) +
               QStringLiteral("）：") + m_message;
    case Kind::invalidRequest:
        return QStringLiteral("词库学习分析请求构造失败。");
    case Kind::emptyContent:
        return QStringLiteral("词库学习分析没有返回可用内容。");
    }
    return {};
}

bool LexiconLearningAIServiceError::operator==(const LexiconLearningAIServiceError &other) const {
    return m_kind == other.m_kind && m_status == other.m_status && m_message == other.m_message &&
           m_resetAt == other.m_resetAt && m_rawContent == other.m_rawContent &&
           m_jsonCandidates == other.m_jsonCandidates;
}

} // namespace tovalit
