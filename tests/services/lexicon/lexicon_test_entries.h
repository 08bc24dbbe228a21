#pragma once

#include "models/personal_lexicon_entry.h"

#include <QDateTime>
#include <QUuid>

#include <ostream>

// Readable failure messages for texts. Every test file of this folder
// includes this header, so all of them print texts the same way.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tovalit::testing {

// Compact construction of lexicon entries for the lexicon tests.
struct EntrySpec {
    PersonalLexiconEntryKind kind = PersonalLexiconEntryKind::hotword;
    std::optional<QString> source{};
    QString target{};
    PersonalLexiconEntrySource learning = PersonalLexiconEntrySource::manual;
    qint64 hits = 1;
    bool enabled = true;
    int updatedMinute = 0;
    std::optional<PersonalLexiconChannel> channel{};
};

inline const QDateTime lexiconTestEpoch = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);

inline PersonalLexiconEntry makeEntry(const EntrySpec &s) {
    return PersonalLexiconEntry(QUuid::createUuid(), s.kind, s.channel, std::nullopt, s.source,
                                s.target, s.learning, s.hits, s.enabled,
                                PersonalLexiconCloudSyncStatus::pending, lexiconTestEpoch,
                                lexiconTestEpoch.addSecs(60 * s.updatedMinute), std::nullopt);
}

inline PersonalLexiconEntry hotword(const QString &target, qint64 hits = 1) {
    return makeEntry({.target = target, .hits = hits});
}

inline PersonalLexiconEntry replacement(const QString &source, const QString &target,
                                        qint64 hits = 1) {
    return makeEntry({.kind = PersonalLexiconEntryKind::replacement,
                      .source = source,
                      .target = target,
                      .hits = hits});
}

} // namespace tovalit::testing
