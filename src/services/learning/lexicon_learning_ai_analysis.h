#pragma once

#include "services/learning/lexicon_learning_ai_candidate.h"

#include <QByteArrayView>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace tovalit {

// The language model's verdict on one edit of inserted text.
struct LexiconLearningAIAnalysis {
    bool shouldLearn = false;
    std::optional<QString> summary;
    // As answered.
    QList<LexiconLearningAICandidate> candidates;

    bool operator==(const LexiconLearningAIAnalysis &) const = default;

    // The candidates fit to learn from: texts trimmed, blank targets and
    // confidences below 0.65 dropped, and of candidates with the same kind,
    // texts and sharing only the first kept.
    QList<LexiconLearningAICandidate> normalizedCandidates() const;

    QJsonObject toJson() const;
    // Strict, like the candidates: "candidates" is required and one bad
    // candidate fails the whole analysis. Throws LexiconDecodingError.
    static LexiconLearningAIAnalysis fromJson(const QJsonObject &object);
    // The analysis in a UTF-8 JSON text, or nothing when it does not decode.
    static std::optional<LexiconLearningAIAnalysis> decode(QByteArrayView utf8);

    static constexpr double minimumConfidence = 0.65;
};

} // namespace tovalit
