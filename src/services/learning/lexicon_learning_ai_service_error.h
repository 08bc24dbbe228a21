#pragma once

#include "support/app_error.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace tovalit {

// The failures of an edit analysis, with the texts that reach the lexicon
// audit trail.
class LexiconLearningAIServiceError : public AppError {
public:
    enum class Kind { invalidResponse, serverError, invalidRequest, emptyContent };

    // No analysis could be read: `rawContent` is what arrived (the reply
    // body or the assistant's text), `jsonCandidates` the JSON texts tried.
    static LexiconLearningAIServiceError invalidResponse(std::optional<QString> rawContent,
                                                         QStringList jsonCandidates);
    // A status outside 2xx with the whole body as message and, when the body
    // names one, the end of a rate limit.
    static LexiconLearningAIServiceError serverError(int status, QString message,
                                                     std::optional<QDateTime> resetAt);
    static LexiconLearningAIServiceError invalidRequest();
    static LexiconLearningAIServiceError emptyContent();

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    QString message() const { return m_message; }
    std::optional<QDateTime> resetAt() const { return m_resetAt; }
    std::optional<QString> rawContent() const { return m_rawContent; }
    QStringList jsonCandidates() const { return m_jsonCandidates; }

    // The raw content of an unreadable reply or the body of a server error.
    std::optional<QString> rawContentForAudit() const;
    std::optional<QStringList> jsonCandidatesForAudit() const;
    // Only a 429 carries a reset time that counts.
    std::optional<QDateTime> rateLimitResetAt() const;

    QString localizedDescription() const override;

    bool operator==(const LexiconLearningAIServiceError &other) const;

private:
    explicit LexiconLearningAIServiceError(Kind kind);

    Kind m_kind;
    int m_status = 0;
    QString m_message;
    std::optional<QDateTime> m_resetAt;
    std::optional<QString> m_rawContent;
    QStringList m_jsonCandidates;
};

} // namespace tovalit
