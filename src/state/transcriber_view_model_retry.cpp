// The retry of an archived recording: the record's recording recognised
// again, routed or rewritten, delivered and filed as a new record.

#include "services/history/history_store.h"
#include "state/history/history_keeper.h"
#include "state/instructions/instruction_library_keeper.h"
#include "state/session/dictation_completion.h"
#include "state/session/dictation_delivery.h"
#include "state/session/dictation_session.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/transcriber_view_model.h"

#include <QPointer>

namespace tovalit {

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

    m_history->beginRetry(record.id);
    co_await runRetry(record);
    co_await m_history->finishRetry();
}

QCoro::Task<void> TranscriberViewModel::runRetry(TranscriptRecord record) {
    // Until the retry's record is saved, its recording is no part of the
    // history a clearing or deletion may empty meanwhile.
    std::shared_ptr<RecordingHold> fileHold = m_history->holdRecording(*record.audioFileName);
    m_session->prepareNewSession();
    setWaveformLevels(idleWaveformLevels());
    setLiveTranscript(QString());
    setFinalTranscript(QString());
    setLastResultMessage(std::nullopt);
    m_session->setEngineStatusNote(QStringLiteral("正在重新上传归档录音"));
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
            co_await m_history->audioFileURL(*record.audioFileName);
        SpeechOperation<QString> recognition = [this, file = audioFile.value_or(QString()),
                                                lexicon](VellupSpeechConfiguration c) {
            return m_completion->transcribeAudioFile(file, std::move(c), lexicon);
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
        m_session->clearSessionContext();
        m_floatingPanelCoordinator->hide();
        setRecordingState(
            RecordingState::failed(QStringLiteral("Vellup ASR 配置不可用，暂时无法重试。")));
        co_return;
    }

    const QString raw = recognized->value;
    const QString text = m_completion->replacedTranscript(raw);
    setLiveTranscript(text);
    const NaturalModeStage stage = DictationCompletion::stageFor(record.duration, text);
    const InstructionRoutingResult routing = co_await m_instructionLibrary->routeIfNeeded(text);
    QString finalText;
    std::optional<QString> stepNote;
    if (routing.isRouted()) {
        finalText = routing.text().isEmpty() ? text : routing.text();
        stepNote = routing.note();
    } else {
        const FormattedText formatted =
            co_await m_delivery->formatTranscript(text, stage, HUDPresentationMode::standard);
        finalText = formatted.text.isEmpty() ? text : formatted.text;
        stepNote = formatted.note;
    }
    setFinalTranscript(finalText);

    const QPointer<TranscriberViewModel> self(this);
    std::optional<InsertionResult> result;
    if (routing.shouldDeliver())
        result = co_await m_delivery->deliver(finalText, HUDPresentationMode::standard);
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
        m_completion->newRecord(record.duration, finalText, raw, record.audioFileName, status, note);
    try {
        co_await m_history->file(retried, fileHold);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_await failRetry(record, failure, std::move(fileHold));
        co_return;
    }
    m_history->noteRetryFiled(retried.id);

    m_session->setEngineStatusNote(QStringLiteral("当前使用Vellup录音 ASR"));
    m_session->clearSessionContext();
    setRecordingState(RecordingState::idle());
    setLastResultMessage(note);
    m_completion->finishWithCompletionPanel(result, finalText, routing, status, note);
    if (!routing.isRouted())
        m_session->startHistoryLearningFollowUp(m_history->storedVersion(retried));
}

QCoro::Task<void> TranscriberViewModel::failRetry(TranscriptRecord record, std::exception_ptr error,
                                                  std::shared_ptr<RecordingHold> fileHold) {
    const QString message = QStringLiteral("重试失败：") + presentableGatewayFailureMessage(error);
    m_session->clearSessionContext();
    m_session->discardLiveTranscriber();
    std::optional<QString> audioFile;
    try {
        audioFile = co_await m_history->audioFileURL(record.audioFileName.value_or(QString()));
    } catch (...) {
        // Without the folder the record simply names no recording.
    }
    const QString transcript = m_finalTranscript.isEmpty() ? record.transcript : m_finalTranscript;
    const QString rawTranscript = !m_liveTranscript.isEmpty()
                                      ? m_liveTranscript
                                      : record.rawTranscript.value_or(record.transcript);
    const TranscriptRecord failed = m_history->failedRecord(
        RecordingSessionOutput{audioFile, record.duration}, transcript, rawTranscript, message);
    try {
        co_await m_history->file(failed, std::move(fileHold));
        m_history->noteRetryFiled(failed.id);
    } catch (...) {
        // The retry's own failure is what the user is told about.
    }
    setLastResultMessage(message);
    m_session->setEngineStatusNote(QStringLiteral("归档录音重试失败"));
    m_floatingPanelCoordinator->hide();
    setRecordingState(RecordingState::failed(message));
}

} // namespace tovalit
