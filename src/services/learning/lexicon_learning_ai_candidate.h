#pragma once

#include "services/learning/lexicon_learning_candidate_kind.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace tovalit {

// One suggestion of the language model's edit analysis. JSON keys are the
// field names.
struct LexiconLearningAICandidate {
    LexiconLearningCandidateKind kind = LexiconLearningCandidateKind::hotword;
    std::optional<QString> sourceText;
    QString targetText;
    bool shareable = false;
    std::optional<QString> reason;
    std::optional<double> confidence;

    bool operator==(const LexiconLearningAICandidate &) const = default;

    // Absent optionals are left out.
    QJsonObject toJson() const;
    // Strict: a missing or mistyped required member, a mistyped optional
    // one, or an unknown kind throws LexiconDecodingError. Optionals may be
    // absent or null; unknown members are ignored.
    static LexiconLearningAICandidate fromJson(const QJsonObject &object);
};

} // namespace tovalit
