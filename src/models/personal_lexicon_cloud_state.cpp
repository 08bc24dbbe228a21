#include "models/personal_lexicon_cloud_state.h"

#include "models/lexicon_json_reader.h"
#include "support/json_text.h"

#include <QUuid>

namespace tovalit {

namespace {

constexpr qsizetype maximumNamespaceLength = 32;

} // namespace

QString
PersonalLexiconCloudState::sanitizedSyncNamespace(const std::optional<QString> &syncNamespace) {
    // Full Unicode lower-casing first, then only ASCII letters and digits
    // survive: accented and CJK letters go, as they would in the
    // service's table names.
    const QString lowered = syncNamespace.value_or(QString()).toLower();
    QString kept;
    kept.reserve(std::min(lowered.size(), maximumNamespaceLength));
    for (const QChar c : lowered) {
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) {
            kept.append(c);
            if (kept.size() == maximumNamespaceLength)
                break;
        }
    }
    if (!kept.isEmpty())
        return kept;
    return QUuid::createUuid().toString(QUuid::Id128);
}

PersonalLexiconCloudState PersonalLexiconCloudState::ensuringSyncNamespace() const {
    PersonalLexiconCloudState ensured = *this;
    const QString sanitized = sanitizedSyncNamespace(syncNamespace);
    if (syncNamespace != sanitized)
        ensured.syncNamespace = sanitized;
    return ensured;
}

QJsonObject PersonalLexiconCloudState::toJson() const {
    QJsonObject object;
    json::insertIfPresent(object, QStringLiteral("syncNamespace"), syncNamespace);
    json::insertIfPresent(object, QStringLiteral("hotwordTableID"), hotwordTableID);
    json::insertIfPresent(object, QStringLiteral("hotwordTableName"), hotwordTableName);
    json::insertIfPresent(object, QStringLiteral("replacementTableID"), replacementTableID);
    json::insertIfPresent(object, QStringLiteral("replacementTableName"), replacementTableName);
    json::insertDateIfPresent(object, QStringLiteral("lastSyncedAt"), lastSyncedAt);
    json::insertIfPresent(object, QStringLiteral("lastErrorMessage"), lastErrorMessage);
    return object;
}

PersonalLexiconCloudState PersonalLexiconCloudState::fromJson(const QJsonObject &object) {
    const LexiconJsonReader read(object);
    PersonalLexiconCloudState state;
    state.syncNamespace = read.optionalString(QStringLiteral("syncNamespace"));
    state.hotwordTableID = read.optionalString(QStringLiteral("hotwordTableID"));
    state.hotwordTableName = read.optionalString(QStringLiteral("hotwordTableName"));
    state.replacementTableID = read.optionalString(QStringLiteral("replacementTableID"));
    state.replacementTableName = read.optionalString(QStringLiteral("replacementTableName"));
    state.lastSyncedAt = read.optionalDate(QStringLiteral("lastSyncedAt"));
    state.lastErrorMessage = read.optionalString(QStringLiteral("lastErrorMessage"));
    return state;
}

} // namespace tovalit
