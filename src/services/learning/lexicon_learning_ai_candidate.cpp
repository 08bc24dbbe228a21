#include "services/learning/lexicon_learning_ai_candidate.h"

#include "models/lexicon_json_reader.h"
#include "support/json_text.h"

namespace tovalit {

QJsonObject LexiconLearningAICandidate::toJson() const {
    QJsonObject object{
        {QStringLiteral("kind"), rawValue(kind)},
        {QStringLiteral("targetText"), targetText},
        {QStringLiteral("shareable"), shareable},
    };
    json::insertIfPresent(object, QStringLiteral("sourceText"), sourceText);
    json::insertIfPresent(object, QStringLiteral("reason"), reason);
    if (confidence)
        object.insert(QStringLiteral("confidence"), *confidence);
    return object;
}

LexiconLearningAICandidate LexiconLearningAICandidate::fromJson(const QJsonObject &object) {
    const LexiconJsonReader read(object);
    LexiconLearningAICandidate candidate;
    candidate.kind = read.requiredEnum<LexiconLearningCandidateKind>(QStringLiteral("kind"));
    candidate.sourceText = read.optionalString(QStringLiteral("sourceText"));
    candidate.targetText = read.requiredString(QStringLiteral("targetText"));
    candidate.shareable = read.requiredBool(QStringLiteral("shareable"));
    candidate.reason = read.optionalString(QStringLiteral("reason"));
    candidate.confidence = read.optionalNumber(QStringLiteral("confidence"));
    return candidate;
}

} // namespace tovalit
