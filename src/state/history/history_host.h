#pragma once

#include "models/recording_state.h"
#include "models/transcript_record.h"

#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

namespace tovalit {

// What the history keeper needs of the controller that composes it: the
// published values it shares with the dictation session, and the lexicon's
// part in loading and clearing. Called on the GUI thread only.
class HistoryHost {
public:
    // The records as published: a record just filed is looked up there in
    // the form the store keeps it.
    virtual QList<TranscriptRecord> records() const = 0;
    // Every list the store returns is published at once, in store order.
    virtual void setRecords(QList<TranscriptRecord> value) = 0;

    // A history failure becomes the failure state only while no session
    // owns the state; the keeper reads and sets it for that alone.
    virtual RecordingState recordingState() const = 0;
    virtual void setRecordingState(RecordingState value) = 0;
    // A failure reported while a session runs.
    virtual void showAppToast(const QString &message, bool isError, double duration) = 0;
    // The set-aside notice, which must be seen even when others come with
    // it at a start.
    virtual void showAppNotice(const QString &message) = 0;

    // The lexicon learns from the loaded history (its daily batch, when
    // one is due); a load is complete once that has run.
    virtual QCoro::Task<void> learnFromLoadedHistory() = 0;
    // A cleared history leaves the lexicon nothing it has tracked: its
    // tracking of learned records starts over, before the clear is done.
    virtual QCoro::Task<void> forgetClearedHistoryLearning() = 0;

protected:
    ~HistoryHost() = default;
};

} // namespace tovalit
