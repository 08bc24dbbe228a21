#pragma once

#include "models/personal_lexicon_entry.h"
#include "models/personal_lexicon_history_learning_state.h"
#include "services/learning/insertion_correction_learning_result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// The user's changes to the lexicon and the history bookkeeping a learned
// correction changes, each worked out from the lexicon as published before
// anything is recorded or saved. Pure functions: the keeper supplies the
// published values and the time, and stores what comes back.
namespace tovalit::LexiconEdits {

// One edit of the entry list: its action word, the entry the audit event
// names, the whole reconciled list and the history bookkeeping to store
// with it.
struct Edit {
    QString action;
    PersonalLexiconEntry entry;
    QList<PersonalLexiconEntry> entries;
    std::optional<PersonalLexiconHistoryLearningState> learningState;
};

// An entry as the lexicon page saves it; no `id` for a new one.
struct ManualEntry {
    std::optional<QUuid> id;
    PersonalLexiconEntryKind kind;
    std::optional<QString> sourceText;
    QString targetText;
    bool enabled;
    qint64 hitCount;
    std::optional<QDateTime> createdAt;
    std::optional<QDateTime> lastAppliedAt;
};

// Creates the entry, or updates the one it collides with (which keeps its
// identity and history). Nothing when the term rules refuse the input.
std::optional<Edit> manualEntryEdit(const ManualEntry &input, QList<PersonalLexiconEntry> entries,
                                    PersonalLexiconHistoryLearningState learningState,
                                    const QDateTime &now);
// Switches the entry `id` on or off; nothing when no entry has it.
std::optional<Edit> toggleEdit(const QUuid &id, QList<PersonalLexiconEntry> entries,
                               const QDateTime &now);
Edit deleteEdit(const PersonalLexiconEntry &entry, QList<PersonalLexiconEntry> entries,
                PersonalLexiconHistoryLearningState learningState, const QDateTime &now);

// The bookkeeping once a correction learned from an edit is committed.
PersonalLexiconHistoryLearningState
learnedChangeLearningState(PersonalLexiconHistoryLearningState learningState,
                           const InsertionCorrectionLearningResult &result);

} // namespace tovalit::LexiconEdits
