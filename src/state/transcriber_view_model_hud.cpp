// What the controller shows on the floating panel while a recording runs
// and around its end, and the toasts of the main window.

#include "models/recording_hud_display_state.h"
#include "services/settings/app_configuration_store.h"
#include "services/shortcuts/emoji_panel_dismissal_service.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "state/meeting/meeting_mode.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/transcriber_view_model.h"

#include <QPointer>

#include <cmath>

namespace tovalit {

void TranscriberViewModel::presentRecordingHUD() {
    QPointer<TranscriberViewModel> self(this);
    const RecordingHUDDisplayState displayState =
        m_hasEnteredMeetingMode
            ? RecordingHUDDisplayState::expandedMeeting(m_meeting->meetingHUDContent())
            : RecordingHUDDisplayState::compact();
    std::optional<QString> toastActionTitle;
    if (m_meetingModeCountdownRemainingSeconds)
        toastActionTitle = QStringLiteral("取消");
    m_floatingPanelCoordinator->showRecording(
        m_waveformLevels, displayState, m_meeting->meetingModeCountdownToastMessage(),
        toastActionTitle,
        [self] {
            if (self)
                self->m_meeting->cancelMeetingModeAutoEntry();
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
                    if (self->m_meetingModeCountdownRemainingSeconds)
                        co_await self->m_meeting->enterMeetingModeIfNeeded();
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

void TranscriberViewModel::dismissEmojiPanelIfNeeded(RecordingStopSource source) {
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

void TranscriberViewModel::presentDeliveryFailureFeedbackIfNeeded(InsertionResult result,
                                                                  const QString &text) {
    if (!insertionFailed(result))
        return;
    // The button copies again, which is also the way to try once more when
    // the clipboard refused the first copy.
    const QString message =
        result == InsertionResult::insertFailedCopiedToClipboard
            ? QStringLiteral(
                  "插入失败，文本已复制到剪贴板，请手动粘贴（Ctrl+V；终端中为 Ctrl+Shift+V）")
            : tovalit::message(result);
    QPointer<TranscriberViewModel> self(this);
    m_floatingPanelCoordinator->showToast(message, QStringLiteral("复制"), 5.0, [self, text] {
        if (self)
            self->copyTranscriptSilently(text);
    });
}

void TranscriberViewModel::showAppToast(const QString &message, bool isError, double duration) {
    m_appToastTask.cancel();
    const AppToastState toast{QUuid::createUuid(), message, isError};
    setAppToast(toast);
    const double wait = std::isfinite(duration) ? std::max(duration, 0.0) : 0.0;
    QPointer<TranscriberViewModel> self(this);
    m_appToastTask = spawnCancellable(
        this,
        [self, sleeper = m_toastSleeper, toast, wait](CancelToken token) -> QCoro::Task<void> {
            co_await sleeper(wait, token);
            if (token.isCancelled() || !self)
                co_return;
            // Only the toast this timer was made for; a newer one, or none,
            // is left alone.
            if (self->m_appToast && self->m_appToast->id == toast.id) {
                self->setAppToast(std::nullopt);
                self->m_appToastTask = TaskHandle();
            }
        },
        QStringLiteral("toast timer"));
}

} // namespace tovalit
