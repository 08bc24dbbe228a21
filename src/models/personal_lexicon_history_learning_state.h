#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tovalit {

// What learning from the dictation history remembers.
struct PersonalLexiconHistoryLearningState {
    // History records already counted.
    QList<QUuid> processedRecordIDs;
    // Normalised terms that are never to be learned again.
    QStringList ignoredNormalizedTerms;
    std::optional<QDateTime> lastDailyBatchAt;

    bool operator==(const PersonalLexiconHistoryLearningState &other) const = default;

    static PersonalLexiconHistoryLearningState empty() { return {}; }

    QJsonObject toJson() const;
    // Throws LexiconDecodingError.
    static PersonalLexiconHistoryLearningState fromJson(const QJsonObject &object);
};

} // namespace tovalit
