#include "models/personal_lexicon_snapshot.h"

#include "models/lexicon_json_reader.h"
#include "support/json_text.h"

#include <QJsonArray>

namespace tovalit {

QJsonObject PersonalLexiconSnapshot::toJson() const {
    QJsonArray entryArray;
    for (const PersonalLexiconEntry &entry : entries)
        entryArray.append(entry.toJson());
    QJsonObject object;
    object.insert(QStringLiteral("entries"), entryArray);
    object.insert(QStringLiteral("cloudState"), cloudState.toJson());
    object.insert(QStringLiteral("historyLearningState"), historyLearningState.toJson());
    return object;
}

PersonalLexiconSnapshot PersonalLexiconSnapshot::fromJson(const QJsonObject &object) {
    const LexiconJsonReader read(object);
    PersonalLexiconSnapshot snapshot;

    const QString entriesKey = QStringLiteral("entries");
    const QJsonArray entryArray = read.requiredArray(entriesKey);
    snapshot.entries.reserve(entryArray.size());
    for (qsizetype i = 0; i < entryArray.size(); ++i) {
        const QString location = entriesKey + u'[' + QString::number(i) + u']';
        const QJsonObject entry = LexiconJsonReader::objectElement(entryArray.at(i), location);
        snapshot.entries.append(LexiconJsonReader::decodeNested(
            location, [&] { return PersonalLexiconEntry::fromJson(entry); }));
    }

    const QString cloudKey = QStringLiteral("cloudState");
    const QJsonObject cloud = read.requiredObject(cloudKey);
    snapshot.cloudState = LexiconJsonReader::decodeNested(
        cloudKey, [&] { return PersonalLexiconCloudState::fromJson(cloud); });

    const QString learningKey = QStringLiteral("historyLearningState");
    if (const auto learning = read.optionalObject(learningKey)) {
        snapshot.historyLearningState = LexiconJsonReader::decodeNested(
            learningKey, [&] { return PersonalLexiconHistoryLearningState::fromJson(*learning); });
    }
    return snapshot;
}

QByteArray PersonalLexiconSnapshot::toFileBytes() const {
    return json::pretty(toJson());
}

PersonalLexiconSnapshot PersonalLexiconSnapshot::fromFileBytes(QByteArrayView bytes) {
    const auto object = json::parseObject(bytes);
    if (!object)
        throw LexiconDecodingError(LexiconDecodingError::Problem::NotAnObject, {});
    return fromJson(*object);
}

} // namespace tovalit
