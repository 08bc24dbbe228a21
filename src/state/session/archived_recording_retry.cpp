// The retry of an archived recording: the record's recording recognised
// again, routed or rewritten, delivered and filed as a new record.

#include "state/session/archived_recording_retry.h"

#include "services/history/history_store.h"
#include "state/session/archived_recording_retry_host.h"
#include "state/session/dictation_completion.h"
#include "state/session/dictation_session.h"
#include "state/session/dictation_session_host.h"
#include "state/shared/dictation_result_texts.h"
#include "state/shared/floating_panel_coordinating.h"
#include "support/spawn.h"

#include <QPointer>

namespace tovalit {

ArchivedRecordingRetry::ArchivedRecordingRetry(
    DictationSessionHost &host, ArchivedRecordingRetryHost &history, DictationSession &session,
    DictationCompletion &completion, DictationDelivery &delivery,
    GatewaySessionRecovery &gatewayRecovery,
    std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_history(history)
    , m_session(session)
    , m_completion(completion)
    , m_delivery(delivery)
    , m_gatewayRecovery(gatewayRecovery)
    , m_floatingPanelCoordinator(std::move(floatingPanelCoordinator)) {}

ArchivedRecordingRetry::~ArchivedRecordingRetry() = default;

void ArchivedRecordingRetry::retryRecord(const TranscriptRecord &record) {
    spawn(
        this, [this, record] { return retryArchivedRecording(record); },
        QStringLiteral("retry record"));
}

QCoro::Task<void> ArchivedRecordingRetry::retryArchivedRecording(TranscriptRecord record) {
    const RecordingState state = m_host.recordingState();
    if (!state.is(RecordingState::Case::idle) && !state.is(RecordingState::Case::failed))
        co_return;
    if (!record.audioFileName || !HistoryStore::isPlainFileName(*record.audioFileName)) {
        m_host.setRecordingState(
            RecordingState::failed(QStringLiteral("这条记录没有可重试的录音文件。")));
        co_return;
    }

    m_history.beginRetry(record.id);
    // The application may quit while the retry waits (for the recogniser,
    // the formatter, the user's answer to a delivery, the history store):
    // the retry then ends with the controller, and nothing of it is left to
    // finish or report.
    const QPointer<ArchivedRecordingRetry> self(this);
    co_await runRetry(record);
    if (!self)
        co_return;
    co_await m_history.finishRetry();
}

QCoro::Task<void> ArchivedRecordingRetry::runRetry(TranscriptRecord record) {
    const QPointer<ArchivedRecordingRetry> self(this);
    // Until the retry's record is saved, its recording is no part of the
    // history a clearing or deletion may empty meanwhile.
    std::shared_ptr<RecordingHold> fileHold = m_history.holdRecording(*record.audioFileName);
    const Outcome outcome = co_await recognizeAndFile(record, fileHold);
    if (self && outcome.failure)
        co_await failRetry(record, outcome.failure, std::move(fileHold));
}

QCoro::Task<ArchivedRecordingRetry::Outcome>
ArchivedRecordingRetry::recognizeAndFile(TranscriptRecord record,
                                         std::shared_ptr<RecordingHold> fileHold) {
    const QPointer<ArchivedRecordingRetry> self(this);
    m_session.prepareNewSession();
    m_host.setWaveformLevels(DictationSession::idleWaveformLevels());
    m_host.setLiveTranscript(QString());
    m_host.setFinalTranscript(QString());
    m_host.setLastResultMessage(std::nullopt);
    m_session.setEngineStatusNote(QStringLiteral("正在重新上传归档录音"));
    m_host.setRecordingState(RecordingState::thinking());
    m_floatingPanelCoordinator->showThinking(QStringLiteral("重新转写"), QString());

    // Recognised again through the same operation as the supplement after a
    // stop, so that one binding serves every whole-file recognition.
    const std::optional<VellupSpeechLexiconConfiguration> lexicon = m_host.compiledSpeechLexicon();
    SpeechResult<QString> recognized;
    std::exception_ptr failure;
    try {
        const std::optional<QString> audioFile =
            co_await m_history.audioFileURL(*record.audioFileName);
        if (!self)
            co_return Outcome{};
        SpeechOperation<QString> recognition = [this, file = audioFile.value_or(QString()),
                                                lexicon](VellupSpeechConfiguration c) {
            return m_completion.transcribeAudioFile(file, std::move(c), lexicon);
        };
        recognized = co_await m_gatewayRecovery.performSpeechOperation(std::move(recognition));
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || failure)
        co_return Outcome{failure};
    if (!recognized) {
        m_session.clearSessionContext();
        m_floatingPanelCoordinator->hide();
        m_host.setRecordingState(
            RecordingState::failed(QStringLiteral("Vellup ASR 配置不可用，暂时无法重试。")));
        co_return Outcome{};
    }

    const QString raw = recognized->value;
    const QString text = m_completion.replacedTranscript(raw);
    m_host.setLiveTranscript(text);
    const NaturalModeStage stage = DictationCompletion::stageFor(record.duration, text);
    const InstructionRoutingResult routing = co_await m_host.routeInstruction(text);
    if (!self)
        co_return Outcome{};
    QString finalText;
    std::optional<QString> stepNote;
    if (routing.isRouted()) {
        finalText = routing.text().isEmpty() ? text : routing.text();
        stepNote = routing.note();
    } else {
        const FormattedText formatted =
            co_await m_delivery.formatTranscript(text, stage, HUDPresentationMode::standard);
        if (!self)
            co_return Outcome{};
        finalText = formatted.text.isEmpty() ? text : formatted.text;
        stepNote = formatted.note;
    }
    m_host.setFinalTranscript(finalText);

    std::optional<InsertionResult> result;
    if (routing.shouldDeliver()) {
        // Nothing holds a retry back once its text is ready. Named rather
        // than braced: GCC 12 destroys a braced argument of a coroutine twice.
        std::function<bool()> alwaysInsert;
        result = co_await m_delivery.deliver(finalText, HUDPresentationMode::standard,
                                             std::move(alwaysInsert));
    }
    if (!self)
        co_return Outcome{};

    const TranscriptRecordStatus status =
        DictationResultTexts::completionStatus(finalText, std::nullopt, result);
    std::optional<QString> resultMessage;
    if (result)
        resultMessage = message(*result);
    const QString note = DictationResultTexts::joinedNote(
        {QStringLiteral("已重新上传归档录音并完成转写"), stepNote, resultMessage});
    const TranscriptRecord retried =
        m_completion.newRecord(record.duration, finalText, raw, record.audioFileName, status, note);
    try {
        co_await m_host.appendToHistory(retried, fileHold);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || failure)
        co_return Outcome{failure};
    m_history.noteRetryFiled(retried.id);

    m_session.setEngineStatusNote(QStringLiteral("当前使用Vellup录音 ASR"));
    m_session.clearSessionContext();
    m_host.setRecordingState(RecordingState::idle());
    m_host.setLastResultMessage(note);
    m_completion.finishWithCompletionPanel(result, finalText, routing, status, note);
    if (!routing.isRouted())
        m_session.startHistoryLearningFollowUp(m_host.storedRecord(retried));
    co_return Outcome{};
}

QCoro::Task<void> ArchivedRecordingRetry::failRetry(TranscriptRecord record,
                                                    std::exception_ptr error,
                                                    std::shared_ptr<RecordingHold> fileHold) {
    const QPointer<ArchivedRecordingRetry> self(this);
    const QString message =
        QStringLiteral("重试失败：") + m_gatewayRecovery.presentableFailureMessage(error);
    m_session.clearSessionContext();
    m_session.discardLiveTranscriber();
    std::optional<QString> audioFile;
    try {
        audioFile = co_await m_history.audioFileURL(record.audioFileName.value_or(QString()));
    } catch (...) {
        // Without the folder the record simply names no recording.
    }
    if (!self)
        co_return;
    const QString shownFinal = m_host.finalTranscript();
    const QString shownLive = m_host.liveTranscript();
    const QString transcript = shownFinal.isEmpty() ? record.transcript : shownFinal;
    const QString rawTranscript =
        !shownLive.isEmpty() ? shownLive : record.rawTranscript.value_or(record.transcript);
    const TranscriptRecord failed = m_host.failedDictationRecord(
        RecordingSessionOutput{audioFile, record.duration}, transcript, rawTranscript, message);
    try {
        co_await m_host.appendToHistory(failed, std::move(fileHold));
        if (self)
            m_history.noteRetryFiled(failed.id);
    } catch (...) {
        // The retry's own failure is what the user is told about.
    }
    if (!self)
        co_return;
    m_host.setLastResultMessage(message);
    m_session.setEngineStatusNote(QStringLiteral("归档录音重试失败"));
    m_floatingPanelCoordinator->hide();
    m_host.setRecordingState(RecordingState::failed(message));
}

} // namespace tovalit
