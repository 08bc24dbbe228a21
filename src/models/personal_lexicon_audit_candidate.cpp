#include "models/personal_lexicon_audit_candidate.h"

#include "models/lexicon_json_reader.h"
#include "support/json_text.h"

namespace tovalit {

QJsonObject PersonalLexiconAuditCandidate::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("kind"), kind);
    json::insertIfPresent(object, QStringLiteral("sourceText"), sourceText);
    object.insert(QStringLiteral("targetText"), targetText);
    object.insert(QStringLiteral("shareable"), shareable);
    json::insertIfPresent(object, QStringLiteral("reason"), reason);
    if (confidence)
        object.insert(QStringLiteral("confidence"), *confidence);
    return object;
}

PersonalLexiconAuditCandidate PersonalLexiconAuditCandidate::fromJson(const QJsonObject &object) {
    const LexiconJsonReader read(object);
    PersonalLexiconAuditCandidate candidate;
    candidate.kind = read.requiredString(QStringLiteral("kind"));
    candidate.sourceText = read.optionalString(QStringLiteral("sourceText"));
    candidate.targetText = read.requiredString(QStringLiteral("targetText"));
    candidate.shareable = read.requiredBool(QStringLiteral("shareable"));
    candidate.reason = read.optionalString(QStringLiteral("reason"));
    candidate.confidence = read.optionalNumber(QStringLiteral("confidence"));
    return candidate;
}

} // namespace tovalit
