#include "models/personal_lexicon_entry.h"

#include "models/lexicon_json_reader.h"
#include "support/iso8601.h"
#include "support/json_text.h"
#include "support/textkit.h"
#include "support/uuid_text.h"

#include <limits>

namespace tovalit {

PersonalLexiconEntry::PersonalLexiconEntry(
    QUuid id, PersonalLexiconEntryKind kind, std::optional<PersonalLexiconChannel> channel,
    std::optional<PersonalLexiconSharingScope> sharingScope, std::optional<QString> sourceText,
    QString targetText, PersonalLexiconEntrySource learningSource, qint64 hitCount, bool enabled,
    PersonalLexiconCloudSyncStatus cloudSyncStatus, QDateTime createdAt, QDateTime updatedAt,
    std::optional<QDateTime> lastAppliedAt)
    : kind(kind)
    , channel(channel.value_or(defaultChannel(kind)))
    , sharingScope(resolvedSharingScope(sharingScope, this->channel))
    , sourceText(sourceText ? std::optional<QString>(textkit::trimmed(*sourceText)) : std::nullopt)
    , targetText(textkit::trimmed(targetText))
    , learningSource(learningSource)
    , hitCount(std::max<qint64>(hitCount, 1))
    , enabled(enabled)
    , cloudSyncStatus(cloudSyncStatus)
    , createdAt(std::move(createdAt))
    , updatedAt(std::move(updatedAt))
    , lastAppliedAt(std::move(lastAppliedAt))
    , m_id(id) {}

PersonalLexiconChannel PersonalLexiconEntry::defaultChannel(PersonalLexiconEntryKind kind) {
    return kind == PersonalLexiconEntryKind::hotword ? PersonalLexiconChannel::boost
                                                     : PersonalLexiconChannel::replace;
}

PersonalLexiconSharingScope
PersonalLexiconEntry::resolvedSharingScope(std::optional<PersonalLexiconSharingScope> scope,
                                           PersonalLexiconChannel channel) {
    if (channel == PersonalLexiconChannel::replace)
        return PersonalLexiconSharingScope::userPrivate;
    return scope.value_or(PersonalLexiconSharingScope::sharedGlossaryCandidate);
}

QString PersonalLexiconEntry::displayText() const {
    if (kind == PersonalLexiconEntryKind::replacement && sourceText && !sourceText->isEmpty())
        return *sourceText + QStringLiteral(" -> ") + targetText;
    return targetText;
}

bool PersonalLexiconEntry::isHistoryCandidate() const {
    return channel == PersonalLexiconChannel::boost && kind == PersonalLexiconEntryKind::hotword &&
           learningSource == PersonalLexiconEntrySource::historyFrequency && hitCount < 3;
}

bool PersonalLexiconEntry::participatesInRecognition() const {
    return enabled && !isHistoryCandidate();
}

bool PersonalLexiconEntry::participatesInCloudSync() const {
    return enabled && learningSource != PersonalLexiconEntrySource::historyFrequency;
}

bool PersonalLexiconEntry::isSystemManaged() const {
    return learningSource == PersonalLexiconEntrySource::historyFrequency ||
           learningSource == PersonalLexiconEntrySource::replacementPromotion;
}

QString PersonalLexiconEntry::normalizedValue(QStringView term) {
    return textkit::comparisonKey(term);
}

QString PersonalLexiconEntry::normalizedTargetKey() const {
    return normalizedValue(targetText);
}

QString PersonalLexiconEntry::normalizedLookupKey() const {
    // Only hot words are ever looked up by it; a replacement keys on the
    // same text, which keeps the answer total.
    return normalizedValue(targetText);
}

std::optional<QString> PersonalLexiconEntry::normalizedSourceKey() const {
    if (!sourceText || sourceText->isEmpty())
        return std::nullopt;
    return normalizedValue(*sourceText);
}

void PersonalLexiconEntry::markApplied(qint64 occurrences, const QDateTime &now) {
    lastAppliedAt = now;
    if (occurrences > 0) {
        hitCount = hitCount > std::numeric_limits<qint64>::max() - occurrences
                       ? std::numeric_limits<qint64>::max()
                       : hitCount + occurrences;
    }
    updatedAt = now;
}

void PersonalLexiconEntry::markPendingSync(const QDateTime &now) {
    updatedAt = now;
    cloudSyncStatus = PersonalLexiconCloudSyncStatus::pending;
}

QJsonObject PersonalLexiconEntry::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), uuidtext::upper(m_id));
    object.insert(QStringLiteral("kind"), rawValue(kind));
    object.insert(QStringLiteral("channel"), rawValue(channel));
    object.insert(QStringLiteral("sharingScope"), rawValue(sharingScope));
    json::insertIfPresent(object, QStringLiteral("sourceText"), sourceText);
    object.insert(QStringLiteral("targetText"), targetText);
    object.insert(QStringLiteral("learningSource"), rawValue(learningSource));
    object.insert(QStringLiteral("hitCount"), hitCount);
    object.insert(QStringLiteral("enabled"), enabled);
    object.insert(QStringLiteral("cloudSyncStatus"), rawValue(cloudSyncStatus));
    json::insertDate(object, QStringLiteral("createdAt"), createdAt);
    json::insertDate(object, QStringLiteral("updatedAt"), updatedAt);
    json::insertDateIfPresent(object, QStringLiteral("lastAppliedAt"), lastAppliedAt);
    return object;
}

PersonalLexiconEntry PersonalLexiconEntry::fromJson(const QJsonObject &object) {
    const LexiconJsonReader read(object);
    return PersonalLexiconEntry(
        read.requiredUuid(QStringLiteral("id")),
        read.requiredEnum<PersonalLexiconEntryKind>(QStringLiteral("kind")),
        read.optionalEnum<PersonalLexiconChannel>(QStringLiteral("channel")),
        read.optionalEnum<PersonalLexiconSharingScope>(QStringLiteral("sharingScope")),
        read.optionalString(QStringLiteral("sourceText")),
        read.requiredString(QStringLiteral("targetText")),
        read.requiredEnum<PersonalLexiconEntrySource>(QStringLiteral("learningSource")),
        read.requiredInteger(QStringLiteral("hitCount")),
        read.requiredBool(QStringLiteral("enabled")),
        read.requiredEnum<PersonalLexiconCloudSyncStatus>(QStringLiteral("cloudSyncStatus")),
        read.requiredDate(QStringLiteral("createdAt")),
        read.requiredDate(QStringLiteral("updatedAt")),
        read.optionalDate(QStringLiteral("lastAppliedAt")));
}

} // namespace tovalit
