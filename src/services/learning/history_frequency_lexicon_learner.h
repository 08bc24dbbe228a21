#pragma once

#include "models/personal_lexicon_entry.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tovalit {

// The terms found in one history record.
struct HistoryLexiconDiscovery {
    QUuid recordID;
    // In the order their source produced them; may be empty.
    QStringList terms;

    bool operator==(const HistoryLexiconDiscovery &) const = default;
};

struct HistoryFrequencyLearningResult {
    // The whole lexicon after learning, newest first.
    QList<PersonalLexiconEntry> entries;
    // The terms that became new entries, in list order.
    QStringList learnedTerms;
    // The records consumed by this call, in input order.
    QList<QUuid> processedRecordIDs;

    bool operator==(const HistoryFrequencyLearningResult &) const = default;
};

} // namespace tovalit

// Learns hot words from the dictation history: every term a record
// mentions becomes a boost hot word at its first sighting, counted once per
// record; it takes effect (and goes to the cloud) once `threshold` records
// have mentioned it. Pure functions. Keys are
// PersonalLexiconEntry::normalizedValue().
namespace tovalit::HistoryFrequencyLexiconLearner {

// The terms worth learning in a transcript, found by word segmentation.
QSet<QString> extractCandidateTerms(QStringView text);
// The same, in list order.
QStringList extractDiscoverableTerms(QStringView text);
// The cleaned term (letter case kept), or nothing when it must not be
// learnt: refused by the validator, holding white space, a generic noun,
// or an English filler word.
std::optional<QString> normalizedCandidate(QStringView term);
bool containsOnlyASCII(QStringView text);
// Of two spellings of one key, the first that shows capitals.
QString preferredDisplayValue(const QString &current, const QString &candidate);
// Generic nouns that never become history hot words, compared as written.
bool isGenericNoun(QStringView term);

HistoryFrequencyLearningResult learn(const QList<HistoryLexiconDiscovery> &discoveries,
                                     const QList<PersonalLexiconEntry> &existingEntries,
                                     const QSet<QString> &ignoredTermKeys,
                                     const QSet<QUuid> &alreadyProcessedRecordIDs, int threshold,
                                     const QDateTime &now);

} // namespace tovalit::HistoryFrequencyLexiconLearner
