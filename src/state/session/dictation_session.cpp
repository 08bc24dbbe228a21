// The session's identity, the trigger's decision and the recording panel.

#include "state/session/dictation_session.h"

#include "models/recording_hud_display_state.h"
#include "services/settings/app_configuration_store.h"
#include "services/shortcuts/emoji_panel_dismissal_service.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "state/session/dictation_session_host.h"
#include "state/session/live_audio_buffer_relay.h"
#include "state/shared/floating_panel_coordinating.h"

#include <QPointer>

namespace tovalit {

DictationSession::DictationSession(
    DictationSessionHost &host, AppConfigurationStore &configurationStore,
    GatewaySessionRecovery &gatewayRecovery,
    std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
    DictationDelivery &delivery, DictationCompletion &completion, Collaborators collaborators,
    QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_configurationStore(configurationStore)
    , m_gatewayRecovery(gatewayRecovery)
    , m_floatingPanelCoordinator(std::move(floatingPanelCoordinator))
    , m_delivery(delivery)
    , m_completion(completion)
    , m_audioCaptureService(std::move(collaborators.audioCaptureService))
    , m_liveTranscriberFactory(std::move(collaborators.liveTranscriberFactory))
    , m_interactionContextProvider(std::move(collaborators.interactionContextProvider))
    , m_emojiPanelDismissalService(std::move(collaborators.emojiPanelDismissalService))
    , m_functionKeySystemSettings(std::move(collaborators.functionKeySystemSettings))
    , m_remoteDesktopKeyboard(std::move(collaborators.remoteDesktopKeyboard))
    , m_currentDate(std::move(collaborators.currentDate))
    , m_sleepForDuration(std::move(collaborators.sleepForDuration))
    , m_uptime(std::move(collaborators.uptime))
    , m_liveAudioBufferRelay(std::make_shared<LiveAudioBufferRelay>(liveAudioBacklogLimit))
    , m_activeRecordingSessionID(QUuid::createUuid()) {}

DictationSession::~DictationSession() {
    // Late callbacks of the capture thread must not reach a relay or a
    // session that is going away.
    if (m_audioCaptureService) {
        m_audioCaptureService->setOnBuffer({});
        m_audioCaptureService->setOnLevels({});
    }
    m_liveTranscriberRecoveryTask.cancel();
}

const QList<double> &DictationSession::idleWaveformLevels() {
    static const QList<double> levels(5, 0.14);
    return levels;
}

// --- Session identity -------------------------------------------------------------

QUuid DictationSession::prepareNewSession() {
    m_activeRecordingSessionID = QUuid::createUuid();
    m_isSessionCancellationRequested = false;
    m_recordingStartedAt.reset();
    m_recordingStartedUptime.reset();
    m_delivery.resetInteractionContext();
    m_liveStreamBroke = false;
    m_liveAudioLost = false;
    return m_activeRecordingSessionID;
}

void DictationSession::clearSessionContext() {
    cancelLiveTranscriberRecovery(true);
    m_liveTranscriptAccumulator.reset();
    // A fresh identity: whatever still runs for the session just ended
    // finds itself overtaken.
    prepareNewSession();
}

void DictationSession::cancelActiveSession() {
    m_isSessionCancellationRequested = true;
    m_activeRecordingSessionID = QUuid::createUuid();
    m_recordingStartedAt.reset();
    m_recordingStartedUptime.reset();
    m_delivery.resetInteractionContext();
}

bool DictationSession::isCurrentSession(const QUuid &sessionID) const {
    return sessionID == m_activeRecordingSessionID && !m_isSessionCancellationRequested;
}

bool DictationSession::isSilencedFollowUp(const QUuid &followUpOf) const {
    return !followUpOf.isNull() && followUpOf != m_activeRecordingSessionID;
}

void DictationSession::discardLiveTranscriber() {
    if (m_transcriber) {
        m_transcriber->cancel();
        m_transcriber.reset();
    }
}

// --- Trigger ------------------------------------------------------------------------

QCoro::Task<void> DictationSession::toggleRecording() {
    const RecordingState state = m_host.recordingState();
    // Real time since the start, on a clock that a change of the system
    // time cannot move: set back, the wall clock would ignore stops until
    // it caught up again.
    bool canStopTapSession = true;
    if (m_recordingStartedUptime) {
        const double elapsed = m_uptime() - *m_recordingStartedUptime;
        canStopTapSession = elapsed >= tapStopGuardInterval;
    }
    switch (m_recordingHotkeyCoordinator.handleTrigger(state, canStopTapSession)) {
    case HotkeyAction::ignore:
        break;
    case HotkeyAction::start:
        co_await startRecording();
        break;
    case HotkeyAction::stop:
        co_await stopRecording(RecordingStopSource::hotkey);
        break;
    }
}

void DictationSession::handleHotkeyTrigger() {
    // One task per press, never coalesced: the state decides between them.
    const QPointer<DictationSession> self(this);
    spawn(
        this,
        [self]() -> QCoro::Task<void> {
            if (self)
                co_await self->toggleRecording();
        },
        QStringLiteral("hotkey trigger"));
}

// --- Recording panel ------------------------------------------------------------------

void DictationSession::presentRecordingHUD() {
    QPointer<DictationSession> self(this);
    const RecordingHUDDisplayState displayState =
        m_host.hasEnteredMeetingMode()
            ? RecordingHUDDisplayState::expandedMeeting(m_host.meetingPanelContent())
            : RecordingHUDDisplayState::compact();
    std::optional<QString> toastActionTitle;
    if (m_host.meetingModeCountdownRemainingSeconds())
        toastActionTitle = QStringLiteral("取消");
    m_floatingPanelCoordinator->showRecording(
        m_host.waveformLevels(), displayState, m_host.meetingCountdownToast(), toastActionTitle,
        [self] {
            if (self)
                self->m_host.dismissMeetingAutoEntry();
        },
        [self] {
            if (!self)
                return;
            spawn(
                self,
                [self]() -> QCoro::Task<void> {
                    if (!self)
                        co_return;
                    // During the countdown the button means "be a meeting
                    // now"; otherwise it ends the recording like the key.
                    if (self->m_host.meetingModeCountdownRemainingSeconds())
                        co_await self->m_host.enterMeetingNow();
                    else
                        co_await self->stopRecording(RecordingStopSource::hudFinishButton);
                },
                QStringLiteral("panel finish"));
        },
        [self] {
            if (!self)
                return;
            spawn(
                self,
                [self]() -> QCoro::Task<void> {
                    if (self)
                        co_await self->cancelCurrentSession();
                },
                QStringLiteral("panel cancel"));
        });
}

void DictationSession::dismissEmojiPanelIfNeeded(RecordingStopSource source) {
    if (source != RecordingStopSource::hotkey)
        return;
    if (!m_configurationStore.shortcutConfiguration().isFunctionKey())
        return;
    // Only a Fn key with no system action of its own opens nothing.
    if (m_functionKeySystemSettings->explicitBehavior() == FunctionKeySystemBehavior::doNothing)
        return;
    std::shared_ptr<EmojiPanelDismissalService> service = m_emojiPanelDismissalService;
    spawn(
        this, [service] { return service->dismissIfNeeded(); },
        QStringLiteral("emoji panel dismissal"));
}

} // namespace tovalit
