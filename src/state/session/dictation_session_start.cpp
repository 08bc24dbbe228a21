// Starting and cancelling a recording.

#include "services/permissions/remote_desktop_keyboard_access.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "state/session/dictation_session.h"
#include "state/session/dictation_session_host.h"
#include "state/session/live_audio_buffer_relay.h"
#include "state/session/recording_session_cancelled_error.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/gui_thread.h"
#include "support/uuid_text.h"

#include <QPointer>

namespace tovalit {

QCoro::Task<void> DictationSession::startRecording() {
    m_floatingPanelCoordinator->hide();
    // Set before the first wait: a second press during the start is ignored.
    m_host.setRecordingState(RecordingState::requestingPermission());
    m_host.setLiveTranscript(QString());
    m_host.setFinalTranscript(QString());
    m_host.setWaveformLevels(idleWaveformLevels());
    m_host.setLastResultMessage(std::nullopt);
    m_engineStatusNote.reset();
    m_host.resetMeetingSession();
    const QUuid sessionID = prepareNewSession();

    // The application may quit while the start waits for the gateway or
    // the recogniser: nothing is then left to start for.
    const QPointer<DictationSession> self(this);
    SpeechOperation<std::shared_ptr<LiveTranscriber>> start =
        [this, sessionID](VellupSpeechConfiguration c) {
            return startLiveTranscriber(std::move(c), sessionID);
        };
    SpeechResult<std::shared_ptr<LiveTranscriber>> started;
    std::exception_ptr failure;
    try {
        started = co_await m_gatewayRecovery.performSpeechOperation(std::move(start));
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        cleanupFailedRecordingStartup(true);
        m_host.setRecordingState(
            RecordingState::failed(m_gatewayRecovery.presentableFailureMessage(failure)));
        co_return;
    }
    if (!started) {
        cleanupFailedRecordingStartup(true);
        m_host.setRecordingState(RecordingState::failed(
            QStringLiteral("Vellup ASR 配置不可用，请联系开发处理内置凭证。")));
        co_return;
    }
    refreshLiveEngineStatusNote(*started->value, false);
    presentRecordingHUD();
}

QCoro::Task<std::shared_ptr<LiveTranscriber>>
DictationSession::startLiveTranscriber(VellupSpeechConfiguration configuration, QUuid sessionID) {
    std::shared_ptr<LiveTranscriber> transcriber =
        makeStreamingTranscriber(std::move(configuration), sessionID);
    const QPointer<DictationSession> self(this);
    std::exception_ptr failure;
    try {
        co_await beginRecording(transcriber, sessionID);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        transcriber->cancel();
        if (self)
            cleanupFailedRecordingStartup(false);
        std::rethrow_exception(failure);
    }
    co_return transcriber;
}

std::shared_ptr<LiveTranscriber>
DictationSession::makeStreamingTranscriber(VellupSpeechConfiguration configuration,
                                           QUuid sessionID) {
    std::shared_ptr<LiveTranscriber> transcriber =
        m_liveTranscriberFactory(std::move(configuration), m_host.compiledSpeechLexicon());
    configureLiveTranscriber(transcriber, sessionID);
    return transcriber;
}

QCoro::Task<void> DictationSession::beginRecording(std::shared_ptr<LiveTranscriber> transcriber,
                                                   QUuid sessionID) {
    m_transcriber = transcriber;
    m_liveAudioBufferRelay->reset();
    m_liveAudioBufferRelay->setTranscriber(transcriber, false);
    m_liveTranscriptAccumulator.reset();
    configureLiveTranscriber(transcriber, sessionID);
    const QPointer<DictationSession> self(this);
    // A failing start is the caller's to undo.
    co_await transcriber->start();
    if (!self)
        co_return;

    // The capture thread touches the relay only, never the session.
    std::weak_ptr<LiveAudioBufferRelay> relay = m_liveAudioBufferRelay;
    m_audioCaptureService->setOnBuffer([relay](const PcmBuffer &buffer, const AudioTime &) {
        if (const auto target = relay.lock())
            target->append(buffer);
    });
    m_audioCaptureService->setOnLevels([self, sessionID](const QList<double> &levels) {
        postToGuiThread([self, sessionID, levels] {
            if (self)
                self->handleLiveLevels(levels, sessionID);
        });
    });

    std::exception_ptr failure;
    bool captureStarted = false;
    try {
        co_await m_audioCaptureService->start();
        captureStarted = true;
        if (self && !isCurrentSession(sessionID))
            throw RecordingSessionCancelledError();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        detachCaptureCallbacks();
        // A microphone left open by an overtaken start would keep recording
        // with nobody listening and refuse the next start.
        if (captureStarted)
            m_audioCaptureService->stop(false);
        m_host.setWaveformLevels(idleWaveformLevels());
        transcriber->cancel();
        m_transcriber.reset();
        m_liveAudioBufferRelay->reset();
        m_liveTranscriptAccumulator.reset();
        std::rethrow_exception(failure);
    }
    handleRecordingDidStart(m_currentDate());
}

void DictationSession::handleRecordingDidStart(QDateTime startedAt) {
    m_recordingStartedAt = std::move(startedAt);
    m_recordingStartedUptime = m_uptime();
    // Marks the recording as one on its way to a record, before any word:
    // only a recording so marked is filed as cut off at the next start.
    keepWordsHeard(m_audioCaptureService->currentRecordingFileName(), QString(), true);
    m_wordsLastKeptAt.reset();
    m_host.setRecordingState(RecordingState::recording());
    m_host.scheduleMeetingThreshold();
    QPointer<DictationSession> self(this);
    const QUuid sessionID = m_activeRecordingSessionID;
    spawn(
        this,
        [self, sessionID]() -> QCoro::Task<void> {
            if (self)
                co_await self->primeInteractionContext(sessionID);
            // Only once the context is read: the desktop's window takes the
            // keyboard focus, and the capture would see that window.
            if (self && self->m_remoteDesktopKeyboard)
                self->m_remoteDesktopKeyboard->requestIfNeeded();
        },
        QStringLiteral("context priming"));
}

QCoro::Task<void> DictationSession::primeInteractionContext(QUuid sessionID) {
    QPointer<DictationSession> self(this);
    const std::shared_ptr<AsyncMutex> capturing = m_delivery.contextCapture();
    const AsyncMutex::Guard oneRead = co_await capturing->lock();
    if (!self || !isCurrentSession(sessionID))
        co_return;
    std::optional<ActiveInteractionContext> context = co_await m_interactionContextProvider();
    // A capture that finishes after its session ended belongs to nobody.
    if (!self || !isCurrentSession(sessionID) || !context)
        co_return;
    m_delivery.setInteractionContext(context);
    TovalitDebugLogger::log(QStringLiteral("context"),
                            QStringLiteral("primed session=") + uuidtext::upper(sessionID) +
                                QStringLiteral(" | profile=") +
                                context->naturalFormattingContext.appProfileID);
}

void DictationSession::refreshLiveEngineStatusNote(const LiveTranscriber &transcriber,
                                                   bool recovered) {
    QString note = QStringLiteral("当前使用") + transcriber.engineName();
    if (recovered)
        note += QStringLiteral("（已恢复）");
    if (m_host.hasEnteredMeetingMode())
        note += QStringLiteral(" + 会议纪要模式");
    m_engineStatusNote = note;
}

bool DictationSession::refreshLiveEngineStatusNote() {
    if (!m_transcriber)
        return false;
    refreshLiveEngineStatusNote(*m_transcriber, false);
    return true;
}

void DictationSession::cleanupFailedRecordingStartup(bool clearSession) {
    if (clearSession)
        clearSessionContext();
    cancelLiveTranscriberRecovery(true);
    detachCaptureCallbacks();
    if (m_transcriber) {
        m_transcriber->cancel();
        m_transcriber.reset();
    }
    m_liveTranscriptAccumulator.reset();
    m_floatingPanelCoordinator->hide();
}

void DictationSession::detachCaptureCallbacks() {
    m_audioCaptureService->setOnBuffer({});
    m_audioCaptureService->setOnLevels({});
}

QCoro::Task<void> DictationSession::cancelCurrentSession() {
    // A stop that is already finishing cannot be cancelled.
    if (!m_host.recordingState().is(RecordingState::Case::recording))
        co_return;
    // Nothing of a cancelled recording is kept; its output is not wanted.
    endRecordingCapture(false);
    m_host.setLiveTranscript(QString());
    m_host.setFinalTranscript(QString());
    cancelActiveSession();
    m_host.resetMeetingSession();
    m_host.setRecordingState(RecordingState::idle());
    m_host.setLastResultMessage(QStringLiteral("已取消本次录音"));
    m_floatingPanelCoordinator->hide();
}

std::optional<RecordingSessionOutput> DictationSession::endRecordingCapture(bool keepAudioFile) {
    m_host.stopMeetingTasks();
    cancelLiveTranscriberRecovery(true);
    detachCaptureCallbacks();
    const RecordingSessionOutput output = m_audioCaptureService->stop(keepAudioFile);
    if (m_transcriber) {
        m_transcriber->cancel();
        m_transcriber.reset();
    }
    m_host.setWaveformLevels(idleWaveformLevels());
    return output;
}

} // namespace tovalit
