#pragma once

#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class RecordingHold;

// What the retry of an archived recording needs of the history beyond
// what every dictation files there: the recording it reads again, and the
// bookkeeping that lets a deletion of the retried record wait for the
// retry. Called on the GUI thread only.
class ArchivedRecordingRetryHost {
public:
    // Keeps the recording out of clearings and deletions until the hold
    // lets go.
    virtual std::shared_ptr<RecordingHold> holdRecording(const QString &fileName) = 0;
    // The recording's location; nothing for a name that is not one plain
    // file name.
    virtual QCoro::Task<std::optional<QString>> audioFileURL(QString fileName) = 0;
    // From beginRetry() to finishRetry(), a deletion of the retried record
    // waits; noteRetryFiled() names the record the retry filed, which that
    // deletion takes too.
    virtual void beginRetry(const QUuid &retriedID) = 0;
    virtual void noteRetryFiled(const QUuid &filedID) = 0;
    virtual QCoro::Task<void> finishRetry() = 0;

protected:
    ~ArchivedRecordingRetryHost() = default;
};

} // namespace tovalit
