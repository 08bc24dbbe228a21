#include "services/learning/lexicon_learning_ai_analysis.h"

#include "models/lexicon_json_reader.h"
#include "support/json_text.h"
#include "support/textkit.h"

#include <QJsonArray>
#include <QSet>

namespace tovalit {

QList<LexiconLearningAICandidate> LexiconLearningAIAnalysis::normalizedCandidates() const {
    QList<LexiconLearningAICandidate> kept;
    QSet<QString> taken;
    for (const LexiconLearningAICandidate &candidate : candidates) {
        const QString target = textkit::trimmed(candidate.targetText);
        if (target.isEmpty())
            continue;
        if (candidate.confidence && *candidate.confidence < minimumConfidence)
            continue;
        std::optional<QString> source;
        if (candidate.sourceText)
            source = textkit::trimmed(*candidate.sourceText);

        // An absent source and an empty one are the same suggestion.
        const QString key = rawValue(candidate.kind) + u'|' + source.value_or(QString()) + u'|' +
                            target + u'|' + (candidate.shareable ? u'1' : u'0');
        if (taken.contains(key))
            continue;
        taken.insert(key);

        LexiconLearningAICandidate cleaned = candidate;
        cleaned.sourceText = source;
        cleaned.targetText = target;
        if (candidate.reason)
            cleaned.reason = textkit::trimmed(*candidate.reason);
        kept.append(cleaned);
    }
    return kept;
}

QJsonObject LexiconLearningAIAnalysis::toJson() const {
    QJsonArray list;
    for (const LexiconLearningAICandidate &candidate : candidates)
        list.append(candidate.toJson());
    QJsonObject object{
        {QStringLiteral("shouldLearn"), shouldLearn},
        {QStringLiteral("candidates"), list},
    };
    json::insertIfPresent(object, QStringLiteral("summary"), summary);
    return object;
}

LexiconLearningAIAnalysis LexiconLearningAIAnalysis::fromJson(const QJsonObject &object) {
    const LexiconJsonReader read(object);
    LexiconLearningAIAnalysis analysis;
    analysis.shouldLearn = read.requiredBool(QStringLiteral("shouldLearn"));
    analysis.summary = read.optionalString(QStringLiteral("summary"));
    const QJsonArray list = read.requiredArray(QStringLiteral("candidates"));
    for (qsizetype index = 0; index < list.size(); ++index) {
        const QString location = QStringLiteral("candidates[%1]").arg(index);
        analysis.candidates.append(LexiconJsonReader::decodeNested(location, [&] {
            return LexiconLearningAICandidate::fromJson(
                LexiconJsonReader::objectElement(list.at(index), QString()));
        }));
    }
    return analysis;
}

std::optional<LexiconLearningAIAnalysis> LexiconLearningAIAnalysis::decode(QByteArrayView utf8) {
    const auto object = json::parseObject(utf8);
    if (!object)
        return std::nullopt;
    try {
        return fromJson(*object);
    } catch (const LexiconDecodingError &) {
        return std::nullopt;
    }
}

} // namespace tovalit
