#pragma once

#include "models/personal_lexicon_cloud_state.h"
#include "models/personal_lexicon_entry.h"
#include "models/personal_lexicon_history_learning_state.h"
#include "models/transcript_record.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tovalit {

// What the lexicon keeper needs of the controller that composes it. The
// lexicon's published values live on the controller, which announces each
// assignment; the keeper reads them and changes them only through these.
class LexiconHost {
public:
    virtual ~LexiconHost() = default;

    // The lexicon as the views see it: every change is worked out from it.
    virtual const QList<PersonalLexiconEntry> &publishedLexiconEntries() const = 0;
    virtual const PersonalLexiconCloudState &publishedLexiconCloudState() const = 0;
    virtual const PersonalLexiconHistoryLearningState &publishedHistoryLearningState() const = 0;
    // Publishing a change of the lexicon, in the order a snapshot is
    // applied: entries, cloud state, history bookkeeping.
    virtual void publishLexiconEntries(QList<PersonalLexiconEntry> value) = 0;
    virtual void publishLexiconCloudState(PersonalLexiconCloudState value) = 0;
    virtual void publishHistoryLearningState(PersonalLexiconHistoryLearningState value) = 0;
    // Why the lexicon could not be loaded, for the lexicon page.
    virtual void publishRecentLexiconLearningMessage(std::optional<QString> value) = 0;
    // The copies of the lexicon file that could not be read, set aside
    // beside it: the lexicon page names them while they are there.
    virtual void publishSetAsideLexiconCopies(QStringList paths) = 0;
    // What the user must learn of this run's lexicon file (it could not be
    // loaded, or a copy of it was kept), once the main window is up.
    virtual void showAppNotice(const QString &message) = 0;
    // A learning message of a saved change, on the main window's result
    // line, which the dictation shares.
    virtual void publishLastResultMessage(std::optional<QString> value) = 0;
    // The whole history, for the daily batch and the page's refresh.
    virtual const QList<TranscriptRecord> &historyRecords() const = 0;
    // A follow-up of a dictation speaks no more once a later one has
    // begun; null for every change that is no follow-up.
    virtual bool isSilencedFollowUp(const QUuid &followUpOf) const = 0;
};

} // namespace tovalit
