#pragma once

#include "models/transcript_record.h"
#include "services/history/recording_hold.h"
#include "support/app_error.h"
#include "support/clock.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QThreadPool>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

class QFileInfo;

namespace tovalit {

class HistoryStoreError : public AppError {
public:
    enum class Kind { folderUnavailable, readFailed, writeFailed, listFailed };

    HistoryStoreError(Kind kind, QString path, QString detail = {});
    Kind kind() const { return m_kind; }
    QString path() const { return m_path; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_path;
    QString m_detail;
};

// The dictation history on disk, under the data folder: "history.json"
// (every record, newest first), "recordings/" (audio written by the
// capture) and "transcripts/" (one readable file per record with text,
// from which records missing in history.json are rebuilt). Nothing is
// cached: every operation reads what it needs.
//
// Operations run one at a time, in call order, on the store's own worker
// thread; callers await them. File names read from stored records are used
// only when they are one plain path component. A history.json that cannot
// be read is reported by loads and left as it is; one that was read whole
// but does not decode is moved aside ("history.json.unreadable-<UTC
// stamp>"), the history rebuilt from the transcript files, and the user
// told once (takeSetAsideNotice()). A load whose write-back of the merged
// history fails (a full disk) logs that and still returns what it read.
// Saving and clearing move aside any history.json they cannot read before
// writing a new one.
class HistoryStore {
public:
    // With a base folder, that folder replaces the data folder (and no
    // former folder is moved). `currentDate` dates rebuilt records and the
    // names of set-aside files.
    explicit HistoryStore(std::optional<QString> baseDirectory = std::nullopt,
                          Clock currentDate = systemClock());
    // Waits for queued operations.
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // The process-wide store on the data folder.
    static HistoryStore &shared();

    QCoro::Task<QList<TranscriptRecord>> loadRecords();
    QCoro::Task<void> saveRecords(QList<TranscriptRecord> records);
    // Writes the record's transcript file first, then adds the record to
    // the history as stored at that moment; returns the new whole history.
    // A caller's copy of the list is never merged back: it may still hold
    // records deleted meanwhile, whose files are gone.
    // `hold` (of the record's recording) is released on the worker once the
    // record is saved, so that a clearing queued behind the append removes
    // both; a failed append leaves it held for the caller's next attempt.
    QCoro::Task<QList<TranscriptRecord>> append(TranscriptRecord record,
                                                std::shared_ptr<RecordingHold> hold = nullptr);
    // Removes the records and the files no remaining record names.
    QCoro::Task<QList<TranscriptRecord>> deleteRecord(QUuid id);
    QCoro::Task<QList<TranscriptRecord>> deleteRecords(QList<QUuid> ids);
    // Recordings held at the moment they would go are left, by deletions as
    // by clearings: they belong to a dictation or retry whose record does
    // not exist yet.
    QCoro::Task<void> clearAllRecords();

    // Keeps the recording of that name out of clearings and deletions until
    // the hold lets go. The capture holds its file from before it exists; a
    // stop or a retry holds its recording until its record is appended.
    // Any thread.
    std::shared_ptr<RecordingHold> holdRecording(QString fileName);

    // --- Recordings a process left without a record ---------------------------
    // Notes the words heard so far of a recording still on its way to its
    // record (the recogniser's whole text, once it is there), so that a
    // process ending before the record is written leaves them. Queued on
    // the worker; dropped once the recording is no longer held, since its
    // record is then written or the recording discarded. Any thread.
    void keepWordsHeard(QString audioFileName, QDateTime startedAt, bool meeting, QString words);

    // A recording in "recordings/" that no record names, nothing in this
    // process holds, and that was noted (keepWordsHeard) when it began:
    // what a process that ended mid-dictation left.
    struct UnfinishedRecording {
        QString audioFileName;
        QString path;
        // Of the audio the file holds.
        double duration = 0;
        QDateTime createdAt;
        bool meeting = false;
        // The words heard before the process ended; empty when unknown.
        QString transcript;
    };
    // Those recordings, oldest first. A recording without audio in it
    // (a process that ended within its first second) and without words is
    // left out, and stays where it is. Notes of recordings that were
    // filed or discarded meanwhile are dropped.
    // The append of a recording's record (given the recording's hold)
    // drops its note.
    QCoro::Task<QList<UnfinishedRecording>> unfinishedRecordings();

    // What the user is to be told, once, of a damaged history.json that an
    // operation set aside: what happened and where the old file is. Any
    // thread.
    std::optional<QString> takeSetAsideNotice();

    // The folders, created when missing.
    QCoro::Task<QString> recordingsDirectoryURL();
    // The same folder for callers that cannot wait, such as the capture
    // thread starting a recording; it only resolves and creates the folder,
    // which is safe from any thread.
    QString recordingsDirectoryNow() const { return recordingsDirectory(); }
    QCoro::Task<QString> transcriptsDirectoryURL();
    // A file's location in its folder (the file need not exist); nothing
    // for a name that is not one plain path component.
    QCoro::Task<std::optional<QString>> audioFileURL(QString fileName);
    QCoro::Task<std::optional<QString>> transcriptFileURL(QString fileName);

    // One entry per id: the first record met wins, later ones fill its
    // gaps; sorted newest first, equal times by the greater id text.
    static QList<TranscriptRecord> mergeRecordGroups(const QList<QList<TranscriptRecord>> &groups);
    static TranscriptRecord mergeRecord(const TranscriptRecord &preferred,
                                        const TranscriptRecord &fallback);
    // Not empty, not "." or "..", no "/" and no NUL.
    static bool isPlainFileName(QStringView name);

private:
    template <typename Work>
    QCoro::Task<std::invoke_result_t<Work &>> runSerially(Work work);

    QString appSupportDirectory() const;
    QString historyFilePath() const;
    QString subfolder(const QString &name) const;
    QString recordingsDirectory() const;
    QString transcriptsDirectory() const;
    QString unfinishedDirectory() const;
    void ensureDirectories() const;
    bool isHeld(const QString &fileName) const;
    QList<UnfinishedRecording> unfinishedRecordingsNow() const;

    // Saves the merged history back when it differs from the file.
    QList<TranscriptRecord> loadRecordsNow(bool saveChanges) const;
    // A write-back that fails is logged; the load still returns the records.
    void saveLoadedRecordsBack(const QList<TranscriptRecord> &records) const;
    // The records of history.json, none when it is missing. One that reads
    // but does not decode is set aside (`setAside` is then true).
    QList<TranscriptRecord> readOrSetAsideStoredRecords(const QString &path, bool &setAside) const;
    void saveRecordsNow(const QList<TranscriptRecord> &records, bool historyKnownReadable) const;
    void setAsideIfUnreadable(const QString &path) const;
    // Moves the file (the one a link there leads to) to a name of its own
    // beside it; returns that name.
    QString setAsideNow(const QString &path) const;
    QList<TranscriptRecord> appendNow(const TranscriptRecord &record) const;
    QList<TranscriptRecord> deleteRecordsNow(const QSet<QUuid> &ids) const;
    void clearAllRecordsNow() const;

    TranscriptRecord recordPersistingTranscriptFile(const TranscriptRecord &record) const;
    QList<TranscriptRecord> recoverRecordsFromTranscriptFiles() const;
    // The recordings held out of clearings and deletions, by name.
    struct HeldRecordings;
    // Each leaves the entries named in `held`, when given.
    void removeFiles(const QString &folder, const QSet<QString> &names,
                     HeldRecordings *held = nullptr) const;
    void clearDirectory(const QString &folder, HeldRecordings *held = nullptr) const;
    static void removeUnlessHeld(const QFileInfo &entry, HeldRecordings *held);

    std::optional<QString> m_baseDirectory;
    Clock m_currentDate;
    std::shared_ptr<HeldRecordings> m_heldRecordings;
    // Written on the worker, taken on the GUI thread.
    mutable std::mutex m_noticeMutex;
    mutable std::optional<QString> m_setAsideNotice;
    QThreadPool m_worker;
};

} // namespace tovalit
