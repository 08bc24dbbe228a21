#pragma once

#include "models/transcript_record.h"
#include "services/capture/audio_capture_service.h"
#include "support/clock.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class AppConfigurationStore;
class FileViewer;
class HistoryHost;
class HistoryStore;
class RecordingHold;

// The history of dictations: loads, deletes and clears the records, shows
// their files, and files what each dictation (or retry) leaves behind. The
// records it reads and publishes are the controller's published value,
// reached through the host.
//
// Its rules: a recording in use by a stop or a retry is held until its
// record is filed, so that a clear or a deletion meanwhile spares it; and a
// deletion of the record a retry is working on waits for the retry's own
// record, and takes both.
//
// A load also files the recordings an earlier run left without a record
// (it ended mid-dictation): each becomes a failed record with the words
// heard so far, retryable from its recording.
//
// Lives on the GUI thread; every member runs there.
class HistoryKeeper : public QObject {
    Q_OBJECT

public:
    // `host` outlives the keeper; `fileViewer` is not null.
    HistoryKeeper(HistoryHost &host, AppConfigurationStore &configurationStore,
                  HistoryStore &historyStore, std::shared_ptr<FileViewer> fileViewer,
                  Clock systemDate, QObject *parent = nullptr);
    ~HistoryKeeper() override;
    HistoryKeeper(const HistoryKeeper &) = delete;
    HistoryKeeper &operator=(const HistoryKeeper &) = delete;

    // --- The views' actions -------------------------------------------------
    QCoro::Task<void> loadHistory();
    // These start their work on the event loop and return at once.
    void deleteRecord(const TranscriptRecord &record);
    void clearHistory();
    void revealAudioFile(const TranscriptRecord &record);
    void revealTranscriptFile(const TranscriptRecord &record);

    // --- Filing what a dictation leaves behind --------------------------------
    // Keeps the recording out of clearings and deletions until the hold
    // lets go: a stop or a retry holds it until its record is filed.
    std::shared_ptr<RecordingHold> holdRecording(const QString &fileName);
    // The recording's location; nothing for a name that is not one plain
    // file name.
    QCoro::Task<std::optional<QString>> audioFileURL(QString fileName);
    // Appends the record and publishes the history the store returns.
    // Throws the store's failure; a refused append leaves `fileHold` held
    // for whoever still has it.
    QCoro::Task<void> file(TranscriptRecord record, std::shared_ptr<RecordingHold> fileHold);
    // The recording as the history keeps it: dropped, with its file, when
    // the settings keep no recordings.
    std::optional<RecordingSessionOutput>
    persistedRecordingOutput(std::optional<RecordingSessionOutput> output) const;
    TranscriptRecord failedRecord(const std::optional<RecordingSessionOutput> &output,
                                  const QString &transcript, const QString &rawTranscript,
                                  const QString &message) const;
    // Keeps the words heard so far of a recording whose record is not
    // written yet, for the next start to file should this run end first.
    void keepWordsHeard(const QString &audioFileName, const QDateTime &startedAt, bool meeting,
                        const QString &words);
    // The record as the history store keeps it (with its transcript file).
    TranscriptRecord storedVersion(const TranscriptRecord &record) const;

    // --- The retry of an archived recording -----------------------------------
    // From beginRetry() to finishRetry(), a deletion of the retried record
    // waits; noteRetryFiled() names the record the retry filed, which the
    // waiting deletion takes too.
    void beginRetry(const QUuid &retriedID);
    void noteRetryFiled(const QUuid &filedID);
    QCoro::Task<void> finishRetry();

private:
    QCoro::Task<void> deleteRecordNow(TranscriptRecord record);
    QCoro::Task<void> removeRecords(QList<QUuid> ids);
    QCoro::Task<void> clearHistoryNow();
    QCoro::Task<void> revealFile(QString fileName, bool audio);
    // Publishes a list the store returned.
    void publishRecords(QList<TranscriptRecord> records);
    // The failure state when nothing runs, else a toast.
    void reportHistoryFailure(const QString &message);
    // Tells the user, once, of a damaged history file the store set aside.
    void reportSetAsideHistory();
    // Files, as failed and retryable, the recordings that a process which
    // ended mid-dictation left without a record, and says so once.
    QCoro::Task<void> fileUnfinishedRecordings();

    HistoryHost &m_host;
    AppConfigurationStore &m_configurationStore;
    HistoryStore &m_historyStore;
    std::shared_ptr<FileViewer> m_fileViewer;
    // The wall clock: record times.
    Clock m_systemDate;

    // The retry under way. A deletion of the record it retries waits for the
    // retry's own record, which names the same recording, and takes both.
    struct RetryInFlight {
        QUuid retriedID;
        std::optional<QUuid> filedID;
        bool deletionRequested = false;
    };
    std::optional<RetryInFlight> m_retryInFlight;
};

} // namespace tovalit
