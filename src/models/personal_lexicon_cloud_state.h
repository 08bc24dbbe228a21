#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tovalit {

// What the synchronisation with the speech service's tables remembers.
struct PersonalLexiconCloudState {
    // The name part that makes this lexicon's remote table names unique.
    std::optional<QString> syncNamespace;
    std::optional<QString> hotwordTableID;
    std::optional<QString> hotwordTableName;
    std::optional<QString> replacementTableID;
    std::optional<QString> replacementTableName;
    std::optional<QDateTime> lastSyncedAt;
    std::optional<QString> lastErrorMessage;

    bool operator==(const PersonalLexiconCloudState &other) const = default;

    static PersonalLexiconCloudState empty() { return {}; }

    // Lower-cased, stripped to a-z and 0-9, at most 32 characters; when
    // nothing usable is left, 32 fresh random hexadecimal characters.
    static QString sanitizedSyncNamespace(const std::optional<QString> &syncNamespace);
    // The same state with a usable namespace: a valid one survives, an
    // absent or unusable one is replaced by a fresh random one (so callers
    // must keep the result).
    PersonalLexiconCloudState ensuringSyncNamespace() const;

    QJsonObject toJson() const;
    // Throws LexiconDecodingError.
    static PersonalLexiconCloudState fromJson(const QJsonObject &object);
};

} // namespace tovalit
