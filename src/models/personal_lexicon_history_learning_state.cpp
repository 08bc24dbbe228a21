#include "models/personal_lexicon_history_learning_state.h"

#include "models/lexicon_json_reader.h"
#include "support/json_text.h"
#include "support/uuid_text.h"

#include <QJsonArray>

namespace tovalit {

QJsonObject PersonalLexiconHistoryLearningState::toJson() const {
    QJsonArray ids;
    for (const QUuid &id : processedRecordIDs)
        ids.append(uuidtext::upper(id));
    QJsonObject object;
    object.insert(QStringLiteral("processedRecordIDs"), ids);
    object.insert(QStringLiteral("ignoredNormalizedTerms"),
                  QJsonArray::fromStringList(ignoredNormalizedTerms));
    json::insertDateIfPresent(object, QStringLiteral("lastDailyBatchAt"), lastDailyBatchAt);
    return object;
}

PersonalLexiconHistoryLearningState
PersonalLexiconHistoryLearningState::fromJson(const QJsonObject &object) {
    const LexiconJsonReader read(object);
    PersonalLexiconHistoryLearningState state;
    const QString idsKey = QStringLiteral("processedRecordIDs");
    const QJsonArray ids = read.requiredArray(idsKey);
    state.processedRecordIDs.reserve(ids.size());
    for (qsizetype i = 0; i < ids.size(); ++i) {
        state.processedRecordIDs.append(
            LexiconJsonReader::uuidElement(ids.at(i), idsKey + u'[' + QString::number(i) + u']'));
    }
    const QString termsKey = QStringLiteral("ignoredNormalizedTerms");
    read.requiredArray(termsKey);
    state.ignoredNormalizedTerms = *read.optionalStringList(termsKey);
    state.lastDailyBatchAt = read.optionalDate(QStringLiteral("lastDailyBatchAt"));
    return state;
}

} // namespace tovalit
