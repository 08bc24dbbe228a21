#pragma once

#include "models/personal_lexicon_cloud_state.h"
#include "models/personal_lexicon_entry.h"
#include "models/personal_lexicon_history_learning_state.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QList>

namespace tovalit {

// The whole persisted lexicon: the content of "personal-lexicon.json".
struct PersonalLexiconSnapshot {
    // In stored order.
    QList<PersonalLexiconEntry> entries;
    PersonalLexiconCloudState cloudState;
    PersonalLexiconHistoryLearningState historyLearningState;

    bool operator==(const PersonalLexiconSnapshot &other) const = default;

    static PersonalLexiconSnapshot empty() { return {}; }

    QJsonObject toJson() const;
    // Throws LexiconDecodingError; one bad entry fails the whole snapshot.
    static PersonalLexiconSnapshot fromJson(const QJsonObject &object);
    // The file's bytes: pretty-printed, keys sorted, UTF-8.
    QByteArray toFileBytes() const;
    // Throws LexiconDecodingError, also for bytes that are not a JSON object.
    static PersonalLexiconSnapshot fromFileBytes(QByteArrayView bytes);
};

} // namespace tovalit
