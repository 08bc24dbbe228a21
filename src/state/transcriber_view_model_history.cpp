// The history actions, and what a recording leaves to the history.

#include "platform/file_viewer.h"
#include "services/history/history_store.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/transcriber_view_model.h"
#include "support/textkit.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

namespace tovalit {

QCoro::Task<void> TranscriberViewModel::loadHistory() {
    const QPointer<TranscriberViewModel> alive(this);
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
    setRecords(std::move(loaded));
    co_await runDailyHistoryLexiconBatchIfNeeded(false);
}

void TranscriberViewModel::deleteRecord(const TranscriptRecord &record) {
    spawn(
        this, [this, record] { return deleteRecordNow(record); }, QStringLiteral("delete record"));
}

QCoro::Task<void> TranscriberViewModel::deleteRecordNow(TranscriptRecord record) {
    // Deleted now, the retried record would take its recording along, and
    // the retry would then file a record naming a file that is gone.
    if (m_retryInFlight && m_retryInFlight->retriedID == record.id) {
        m_retryInFlight->deletionRequested = true;
        co_return;
    }
    const QList<QUuid> ids{record.id};
    co_await removeRecords(ids);
}

QCoro::Task<void> TranscriberViewModel::removeRecords(QList<QUuid> ids) {
    std::exception_ptr failure;
    try {
        setRecords(co_await m_historyStore.deleteRecords(ids));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure)
        reportHistoryFailure(QStringLiteral("删除历史失败：") + describeError(failure));
}

void TranscriberViewModel::clearHistory() {
    spawn(
        this, [this] { return clearHistoryNow(); }, QStringLiteral("clear history"));
}

QCoro::Task<void> TranscriberViewModel::clearHistoryNow() {
    std::exception_ptr failure;
    try {
        co_await m_historyStore.clearAllRecords();
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        reportHistoryFailure(QStringLiteral("清空历史失败：") + describeError(failure));
        co_return;
    }
    setRecords({});
    co_await resetHistoryLearningTracking();
}

void TranscriberViewModel::revealAudioFile(const TranscriptRecord &record) {
    if (!record.audioFileName)
        return;
    spawn(
        this, [this, name = *record.audioFileName] { return revealFile(name, true); },
        QStringLiteral("reveal recording"));
}

void TranscriberViewModel::revealTranscriptFile(const TranscriptRecord &record) {
    if (!record.transcriptFileName)
        return;
    spawn(
        this, [this, name = *record.transcriptFileName] { return revealFile(name, false); },
        QStringLiteral("reveal transcript"));
}

QCoro::Task<void> TranscriberViewModel::revealFile(QString fileName, bool audio) {
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
    if (failure) {
        const QString prefix =
            audio ? QStringLiteral("打开录音文件失败：") : QStringLiteral("打开转写文件失败：");
        reportHistoryFailure(prefix + describeError(failure));
        co_return;
    }
    if (path)
        m_fileViewer->revealFiles({*path});
}

void TranscriberViewModel::reportHistoryFailure(const QString &message) {
    // A session that is starting, recording or finishing owns the state:
    // turning it into a failure would make the next press a start while
    // the microphone still runs, and lose the dictation.
    if (m_recordingState.is(RecordingState::Case::idle) ||
        m_recordingState.is(RecordingState::Case::failed)) {
        setRecordingState(RecordingState::failed(message));
    } else {
        showAppToast(message, true, 2.2);
    }
}

void TranscriberViewModel::reportSetAsideHistory() {
    if (const std::optional<QString> notice = m_historyStore.takeSetAsideNotice()) {
        TovalitDebugLogger::log(QStringLiteral("history.set_aside"), *notice);
        showAppToast(*notice, true, 5.0);
    }
}

// --- What a recording leaves behind -------------------------------------------------

std::optional<RecordingSessionOutput>
TranscriberViewModel::persistedRecordingOutput(std::optional<RecordingSessionOutput> output) const {
    if (!output || !output->audioURL || m_configurationStore.keepAudioFiles())
        return output;
    QFile::remove(*output->audioURL);
    return RecordingSessionOutput{std::nullopt, output->duration};
}

TranscriptRecord
TranscriberViewModel::failedRecord(const std::optional<RecordingSessionOutput> &output,
                                   const QString &transcript, const QString &rawTranscript,
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

} // namespace tovalit
