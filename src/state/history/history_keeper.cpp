// The history actions, and what a recording leaves to the history.

#include "state/history/history_keeper.h"

#include "platform/file_viewer.h"
#include "services/history/history_store.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "state/history/history_host.h"
#include "support/app_error.h"
#include "support/spawn.h"
#include "support/textkit.h"
#include "support/uuid_text.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <utility>

namespace tovalit {

HistoryKeeper::HistoryKeeper(HistoryHost &host, AppConfigurationStore &configurationStore,
                             HistoryStore &historyStore, std::shared_ptr<FileViewer> fileViewer,
                             Clock systemDate, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_configurationStore(configurationStore)
    , m_historyStore(historyStore)
    , m_fileViewer(std::move(fileViewer))
    , m_systemDate(std::move(systemDate)) {
    Q_ASSERT(m_fileViewer);
}

HistoryKeeper::~HistoryKeeper() = default;

QCoro::Task<void> HistoryKeeper::loadHistory() {
    const QPointer<HistoryKeeper> alive(this);
    QList<TranscriptRecord> loaded;
    std::exception_ptr failure;
    try {
        loaded = co_await m_historyStore.loadRecords();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!alive)
        co_return;
    if (failure) {
        reportHistoryFailure(QStringLiteral("历史记录加载失败：") + describeError(failure));
        co_return;
    }
    publishRecords(std::move(loaded));
    co_await fileUnfinishedRecordings();
    if (!alive)
        co_return;
    co_await m_host.learnFromLoadedHistory();
}

void HistoryKeeper::deleteRecord(const TranscriptRecord &record) {
    spawn(
        this, [this, record] { return deleteRecordNow(record); }, QStringLiteral("delete record"));
}

QCoro::Task<void> HistoryKeeper::deleteRecordNow(TranscriptRecord record) {
    // Deleted now, the retried record would take its recording along, and
    // the retry would then file a record naming a file that is gone.
    if (m_retryInFlight && m_retryInFlight->retriedID == record.id) {
        m_retryInFlight->deletionRequested = true;
        co_return;
    }
    const QList<QUuid> ids{record.id};
    co_await removeRecords(ids);
}

QCoro::Task<void> HistoryKeeper::removeRecords(QList<QUuid> ids) {
    const QPointer<HistoryKeeper> alive(this);
    QList<TranscriptRecord> remaining;
    std::exception_ptr failure;
    try {
        remaining = co_await m_historyStore.deleteRecords(ids);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!alive)
        co_return;
    if (!failure)
        publishRecords(std::move(remaining));
    else
        reportHistoryFailure(QStringLiteral("删除历史失败：") + describeError(failure));
}

void HistoryKeeper::clearHistory() {
    spawn(
        this, [this] { return clearHistoryNow(); }, QStringLiteral("clear history"));
}

QCoro::Task<void> HistoryKeeper::clearHistoryNow() {
    const QPointer<HistoryKeeper> alive(this);
    std::exception_ptr failure;
    try {
        co_await m_historyStore.clearAllRecords();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!alive)
        co_return;
    if (failure) {
        reportHistoryFailure(QStringLiteral("清空历史失败：") + describeError(failure));
        co_return;
    }
    publishRecords({});
    co_await m_host.forgetClearedHistoryLearning();
}

void HistoryKeeper::revealAudioFile(const TranscriptRecord &record) {
    if (!record.audioFileName)
        return;
    spawn(
        this, [this, name = *record.audioFileName] { return revealFile(name, true); },
        QStringLiteral("reveal recording"));
}

void HistoryKeeper::revealTranscriptFile(const TranscriptRecord &record) {
    if (!record.transcriptFileName)
        return;
    spawn(
        this, [this, name = *record.transcriptFileName] { return revealFile(name, false); },
        QStringLiteral("reveal transcript"));
}

QCoro::Task<void> HistoryKeeper::revealFile(QString fileName, bool audio) {
    const QPointer<HistoryKeeper> alive(this);
    std::optional<QString> path;
    std::exception_ptr failure;
    try {
        // A stored name that is not one plain file name is treated as none.
        if (audio)
            path = co_await m_historyStore.audioFileURL(fileName);
        else
            path = co_await m_historyStore.transcriptFileURL(fileName);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!alive)
        co_return;
    if (failure) {
        const QString prefix =
            audio ? QStringLiteral("打开录音文件失败：") : QStringLiteral("打开转写文件失败：");
        reportHistoryFailure(prefix + describeError(failure));
        co_return;
    }
    if (path)
        m_fileViewer->revealFiles({*path});
}

void HistoryKeeper::reportHistoryFailure(const QString &message) {
    // A session that is starting, recording or finishing owns the state:
    // turning it into a failure would make the next press a start while
    // the microphone still runs, and lose the dictation.
    const RecordingState state = m_host.recordingState();
    if (state.is(RecordingState::Case::idle) || state.is(RecordingState::Case::failed)) {
        m_host.setRecordingState(RecordingState::failed(message));
    } else {
        m_host.showAppToast(message, true, 2.2);
    }
}

void HistoryKeeper::reportSetAsideHistory() {
    if (const std::optional<QString> notice = m_historyStore.takeSetAsideNotice()) {
        TovalitDebugLogger::log(QStringLiteral("history.set_aside"), *notice);
        m_host.showAppNotice(*notice);
    }
}

void HistoryKeeper::publishRecords(QList<TranscriptRecord> records) {
    m_host.setRecords(std::move(records));
    // Every list comes from the store, and the operation that made it may
    // have found history.json damaged.
    reportSetAsideHistory();
}

// --- Recordings an earlier run left behind -----------------------------------------

namespace {

QString unfinishedNote(bool meeting, bool recordingKept) {
    QString note = meeting ? QStringLiteral("Tovalit 意外退出，本次会议纪要尚未完成")
                           : QStringLiteral("Tovalit 意外退出，本次转写尚未完成");
    if (recordingKept)
        note += QStringLiteral("，可使用归档录音重试");
    return note;
}

QString unfinishedNotice(int count, bool recordingKept) {
    QString notice =
        QStringLiteral("Tovalit 上次意外退出，%1 段未完成的录音已存入历史记录").arg(count);
    if (recordingKept)
        notice += QStringLiteral("，可使用归档录音重试");
    return notice;
}

} // namespace

QCoro::Task<void> HistoryKeeper::fileUnfinishedRecordings() {
    const QPointer<HistoryKeeper> alive(this);
    QList<HistoryStore::UnfinishedRecording> found;
    try {
        found = co_await m_historyStore.unfinishedRecordings();
    } catch (...) {
        const QString detail = describeError(std::current_exception());
        qWarning().noquote() << "could not look for unfinished recordings:" << detail;
        TovalitDebugLogger::log(QStringLiteral("history.unfinished_failed"), detail);
        co_return;
    }
    if (!alive)
        co_return;
    int filed = 0;
    bool anyKept = false;
    for (const HistoryStore::UnfinishedRecording &recording : std::as_const(found)) {
        // Out of a clearing's reach until its record is saved.
        std::shared_ptr<RecordingHold> hold = m_historyStore.holdRecording(recording.audioFileName);
        const std::optional<RecordingSessionOutput> kept =
            persistedRecordingOutput(RecordingSessionOutput{recording.path, recording.duration});
        const bool recordingKept = kept && kept->audioURL;
        TranscriptRecord record = failedRecord(kept, recording.transcript, recording.transcript,
                                               unfinishedNote(recording.meeting, recordingKept));
        // Named after its recording: a filing cut short between the
        // transcript file and the history file comes back from the former
        // with its recording, and is not filed twice.
        const QString base = recording.audioFileName.chopped(4);
        if (const std::optional<QUuid> id = uuidtext::parse(base))
            record.id = *id;
        record.createdAt = recording.createdAt;
        TovalitDebugLogger::log(QStringLiteral("history.unfinished_filed"),
                                recording.audioFileName + QStringLiteral(" seconds=%1 words=%2")
                                                              .arg(recording.duration, 0, 'f', 1)
                                                              .arg(recording.transcript.size()));
        std::exception_ptr failure;
        try {
            co_await file(std::move(record), std::move(hold));
        } catch (...) {
            failure = std::current_exception();
        }
        if (!alive)
            co_return;
        if (failure) {
            // Still there, unnamed: the next start tries again.
            const QString detail = describeError(failure);
            qWarning().noquote() << "could not file" << recording.audioFileName << ":" << detail;
            TovalitDebugLogger::log(QStringLiteral("history.unfinished_failed"), detail);
            continue;
        }
        ++filed;
        anyKept = anyKept || recordingKept;
    }
    if (filed > 0)
        m_host.showAppNotice(unfinishedNotice(filed, anyKept));
}

// --- The retry's bookkeeping ----------------------------------------------------------

void HistoryKeeper::beginRetry(const QUuid &retriedID) {
    m_retryInFlight = RetryInFlight{retriedID, std::nullopt, false};
}

void HistoryKeeper::noteRetryFiled(const QUuid &filedID) {
    if (m_retryInFlight)
        m_retryInFlight->filedID = filedID;
}

QCoro::Task<void> HistoryKeeper::finishRetry() {
    const RetryInFlight retry = *std::exchange(m_retryInFlight, std::nullopt);
    if (retry.deletionRequested) {
        // The user's deletion, which waited for this retry: its record
        // goes too, and with both the recording they name.
        QList<QUuid> ids{retry.retriedID};
        if (retry.filedID)
            ids.append(*retry.filedID);
        co_await removeRecords(ids);
    }
}

// --- What a recording leaves behind -------------------------------------------------

std::shared_ptr<RecordingHold> HistoryKeeper::holdRecording(const QString &fileName) {
    return m_historyStore.holdRecording(fileName);
}

QCoro::Task<std::optional<QString>> HistoryKeeper::audioFileURL(QString fileName) {
    return m_historyStore.audioFileURL(std::move(fileName));
}

QCoro::Task<void> HistoryKeeper::file(TranscriptRecord record,
                                      std::shared_ptr<RecordingHold> fileHold) {
    const QPointer<HistoryKeeper> alive(this);
    QList<TranscriptRecord> records =
        co_await m_historyStore.append(std::move(record), std::move(fileHold));
    if (alive)
        publishRecords(std::move(records));
}

std::optional<RecordingSessionOutput>
HistoryKeeper::persistedRecordingOutput(std::optional<RecordingSessionOutput> output) const {
    if (!output || !output->audioURL || m_configurationStore.keepAudioFiles())
        return output;
    QFile::remove(*output->audioURL);
    return RecordingSessionOutput{std::nullopt, output->duration};
}

TranscriptRecord HistoryKeeper::failedRecord(const std::optional<RecordingSessionOutput> &output,
                                             const QString &transcript,
                                             const QString &rawTranscript,
                                             const QString &message) const {
    QString text = textkit::trimmed(transcript);
    const QString raw = textkit::trimmed(rawTranscript);
    if (text.isEmpty())
        text = raw;
    TranscriptRecord record;
    record.id = QUuid::createUuid();
    record.createdAt = m_systemDate();
    record.duration = output ? output->duration : 0.0;
    record.transcript = text;
    if (!raw.isEmpty() && raw != text)
        record.rawTranscript = raw;
    if (output && output->audioURL)
        record.audioFileName = QFileInfo(*output->audioURL).fileName();
    record.status = TranscriptRecordStatus::failed;
    record.note = message;
    return record;
}

void HistoryKeeper::keepWordsHeard(const QString &audioFileName, const QDateTime &startedAt,
                                   bool meeting, const QString &words) {
    m_historyStore.keepWordsHeard(audioFileName, startedAt, meeting, words);
}

TranscriptRecord HistoryKeeper::storedVersion(const TranscriptRecord &record) const {
    for (const TranscriptRecord &stored : m_host.records()) {
        if (stored.id == record.id)
            return stored;
    }
    return record;
}

} // namespace tovalit
