// The history actions, the retry of an archived recording, and what a
// recording leaves to the history.

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
    co_await m_lexicon->runDailyHistoryLexiconBatchIfNeeded(false);
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
    co_await m_lexicon->resetHistoryLearningTracking();
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

void TranscriberViewModel::retryRecord(const TranscriptRecord &record) {
    spawn(
        this, [this, record] { return retryArchivedRecording(record); },
        QStringLiteral("retry record"));
}

QCoro::Task<void> TranscriberViewModel::retryArchivedRecording(TranscriptRecord record) {
    if (!m_recordingState.is(RecordingState::Case::idle) &&
        !m_recordingState.is(RecordingState::Case::failed)) {
        co_return;
    }
    if (!record.audioFileName || !HistoryStore::isPlainFileName(*record.audioFileName)) {
        setRecordingState(RecordingState::failed(QStringLiteral("这条记录没有可重试的录音文件。")));
        co_return;
    }

    m_retryInFlight = RetryInFlight{record.id, std::nullopt, false};
    co_await runRetry(record);
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

QCoro::Task<void> TranscriberViewModel::runRetry(TranscriptRecord record) {
    // Until the retry's record is saved, its recording is no part of the
    // history a clearing or deletion may empty meanwhile.
    std::shared_ptr<RecordingHold> fileHold = m_historyStore.holdRecording(*record.audioFileName);
    prepareNewSession();
    setWaveformLevels(idleWaveformLevels());
    setLiveTranscript(QString());
    setFinalTranscript(QString());
    setLastResultMessage(std::nullopt);
    m_engineStatusNote = QStringLiteral("正在重新上传归档录音");
    setRecordingState(RecordingState::thinking());
    m_floatingPanelCoordinator->showThinking(QStringLiteral("重新转写"), QString());

    // Recognised again through the same operation as the supplement after a
    // stop, so that one binding serves every whole-file recognition.
    const std::optional<VellupSpeechLexiconConfiguration> lexicon =
        m_lexicon->compiledSpeechLexiconConfiguration();
    SpeechResult<QString> recognized;
    std::exception_ptr failure;
    try {
        const std::optional<QString> audioFile =
            co_await m_historyStore.audioFileURL(*record.audioFileName);
        SpeechOperation<QString> recognition = [this, file = audioFile.value_or(QString()),
                                                lexicon](VellupSpeechConfiguration c) {
            return m_audioFileTranscriptionRunner(file, std::move(c), lexicon);
        };
        recognized = co_await m_gatewayRecovery->performSpeechOperation(std::move(recognition));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_await failRetry(record, failure, std::move(fileHold));
        co_return;
    }
    if (!recognized) {
        clearSessionContext();
        m_floatingPanelCoordinator->hide();
        setRecordingState(
            RecordingState::failed(QStringLiteral("Vellup ASR 配置不可用，暂时无法重试。")));
        co_return;
    }

    const QString raw = recognized->value;
    const QString text = replacedTranscript(raw);
    setLiveTranscript(text);
    const NaturalModeStage stage = stageFor(record.duration, text);
    const InstructionRoutingResult routing = co_await routeInstructionLibraryIfNeeded(text);
    QString finalText;
    std::optional<QString> stepNote;
    if (routing.isRouted()) {
        finalText = routing.text().isEmpty() ? text : routing.text();
        stepNote = routing.note();
    } else {
        const FormattedText formatted =
            co_await formatTranscript(text, stage, HUDPresentationMode::standard);
        finalText = formatted.text.isEmpty() ? text : formatted.text;
        stepNote = formatted.note;
    }
    setFinalTranscript(finalText);

    const QPointer<TranscriberViewModel> self(this);
    std::optional<InsertionResult> result;
    if (routing.shouldDeliver())
        result = co_await deliver(finalText, HUDPresentationMode::standard);
    // The delivery may wait for the user past the application's end.
    if (!self)
        co_return;

    const TranscriptRecordStatus status = completionStatus(finalText, std::nullopt, result);
    std::optional<QString> resultMessage;
    if (result)
        resultMessage = message(*result);
    const QString note =
        joinedNote({QStringLiteral("已重新上传归档录音并完成转写"), stepNote, resultMessage});
    const TranscriptRecord retried =
        newRecord(record.duration, finalText, raw, record.audioFileName, status, note);
    try {
        setRecords(co_await m_historyStore.append(retried, fileHold));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_await failRetry(record, failure, std::move(fileHold));
        co_return;
    }
    m_retryInFlight->filedID = retried.id;

    m_engineStatusNote = QStringLiteral("当前使用Vellup录音 ASR");
    clearSessionContext();
    setRecordingState(RecordingState::idle());
    setLastResultMessage(note);
    finishWithCompletionPanel(result, finalText, routing, status, note);
    if (!routing.isRouted())
        startHistoryLearningFollowUp(storedVersion(retried));
}

QCoro::Task<void> TranscriberViewModel::failRetry(TranscriptRecord record, std::exception_ptr error,
                                                  std::shared_ptr<RecordingHold> fileHold) {
    const QString message = QStringLiteral("重试失败：") + presentableGatewayFailureMessage(error);
    clearSessionContext();
    if (m_transcriber) {
        m_transcriber->cancel();
        m_transcriber.reset();
    }
    std::optional<QString> audioFile;
    try {
        audioFile = co_await m_historyStore.audioFileURL(record.audioFileName.value_or(QString()));
    } catch (...) {
        // Without the folder the record simply names no recording.
    }
    const QString transcript = m_finalTranscript.isEmpty() ? record.transcript : m_finalTranscript;
    const QString rawTranscript = !m_liveTranscript.isEmpty()
                                      ? m_liveTranscript
                                      : record.rawTranscript.value_or(record.transcript);
    const TranscriptRecord failed = failedRecord(RecordingSessionOutput{audioFile, record.duration},
                                                 transcript, rawTranscript, message);
    try {
        setRecords(co_await m_historyStore.append(failed, std::move(fileHold)));
        m_retryInFlight->filedID = failed.id;
    } catch (...) {
        // The retry's own failure is what the user is told about.
    }
    setLastResultMessage(message);
    m_engineStatusNote = QStringLiteral("归档录音重试失败");
    m_floatingPanelCoordinator->hide();
    setRecordingState(RecordingState::failed(message));
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
