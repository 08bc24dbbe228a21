#pragma once

#include "models/personal_lexicon_enums.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringView>
#include <QUuid>

#include <optional>

namespace tovalit {

// One lexicon entry: a hot word that biases recognition, or a replacement
// that rewrites recognised text. A plain value compared field by field.
//
// The constructor and fromJson() normalise what they are given: both texts
// trimmed (a source that trims to nothing stays present as ""), a hit count
// of at least 1, the channel derived from the kind when none is given, and
// the sharing scope resolved against the channel. Later assignments to the
// fields are not re-checked.
class PersonalLexiconEntry {
public:
    PersonalLexiconEntry(QUuid id, PersonalLexiconEntryKind kind,
                         std::optional<PersonalLexiconChannel> channel,
                         std::optional<PersonalLexiconSharingScope> sharingScope,
                         std::optional<QString> sourceText, QString targetText,
                         PersonalLexiconEntrySource learningSource, qint64 hitCount, bool enabled,
                         PersonalLexiconCloudSyncStatus cloudSyncStatus, QDateTime createdAt,
                         QDateTime updatedAt, std::optional<QDateTime> lastAppliedAt);

    // Fixed at creation: lists identify entries by it.
    const QUuid &id() const { return m_id; }

    PersonalLexiconEntryKind kind;
    PersonalLexiconChannel channel;
    PersonalLexiconSharingScope sharingScope;
    // The text as the recogniser delivers it, for a replacement; absent for
    // a hot word.
    std::optional<QString> sourceText;
    // The hot word itself, or what a replacement produces.
    QString targetText;
    PersonalLexiconEntrySource learningSource;
    qint64 hitCount;
    bool enabled;
    PersonalLexiconCloudSyncStatus cloudSyncStatus;
    QDateTime createdAt;
    QDateTime updatedAt;
    std::optional<QDateTime> lastAppliedAt;

    bool operator==(const PersonalLexiconEntry &other) const = default;

    static PersonalLexiconChannel defaultChannel(PersonalLexiconEntryKind kind);
    static PersonalLexiconSharingScope
    resolvedSharingScope(std::optional<PersonalLexiconSharingScope> scope,
                         PersonalLexiconChannel channel);

    // "source -> target" for a replacement with a source, else the target.
    QString displayText() const;
    // A history-frequency hot word seen too rarely (fewer than 3 times) to
    // take effect, whether enabled or not.
    bool isHistoryCandidate() const;
    bool participatesInRecognition() const;
    // History-frequency entries never reach the remote tables.
    bool participatesInCloudSync() const;
    bool isSystemManaged() const;
    bool isUserVisible() const { return !isSystemManaged(); }

    // The comparison key of a term: trimmed, folded without case, diacritic
    // and width distinctions, lower-cased.
    static QString normalizedValue(QStringView term);
    QString normalizedTargetKey() const;
    QString normalizedLookupKey() const;
    // Absent when the source is absent or empty; may still be empty for a
    // source of white space only.
    std::optional<QString> normalizedSourceKey() const;

    // Adds `occurrences` (counts below 1 add nothing) to the hit count,
    // saturating rather than wrapping, and stamps both dates.
    void markApplied(qint64 occurrences, const QDateTime &now);
    void markPendingSync(const QDateTime &now);

    QJsonObject toJson() const;
    // Throws LexiconDecodingError.
    static PersonalLexiconEntry fromJson(const QJsonObject &object);

private:
    QUuid m_id;
};

} // namespace tovalit
