#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace tovalit {

// One term the language model proposed while learning from an edit, as the
// audit trail records it.
struct PersonalLexiconAuditCandidate {
    // "hotword" or "replacement".
    QString kind;
    // The text to replace, for a replacement.
    std::optional<QString> sourceText;
    QString targetText;
    bool shareable = false;
    std::optional<QString> reason;
    std::optional<double> confidence;

    bool operator==(const PersonalLexiconAuditCandidate &other) const = default;

    QJsonObject toJson() const;
    // Throws LexiconDecodingError.
    static PersonalLexiconAuditCandidate fromJson(const QJsonObject &object);
};

} // namespace tovalit
