// The meeting-mode state of a recording, and how a long recording becomes a
// meeting: the threshold, the countdown toast, entry, and the setting
// switched while recording.

#include "state/meeting/meeting_mode.h"

#include "services/settings/app_configuration_store.h"
#include "state/meeting/meeting_mode_host.h"
#include "state/shared/floating_panel_coordinating.h"
#include "support/textkit.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace tovalit {

MeetingMode::MeetingMode(MeetingModeHost &host, AppConfigurationStore &configurationStore,
                         GatewaySessionRecovery &gatewayRecovery,
                         std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                         StructuredFormattingRunner structuredFormattingRunner,
                         MeetingModeTimings timings, Clock currentDate, Sleeper sleepForDuration)
    : m_host(host)
    , m_configurationStore(configurationStore)
    , m_gatewayRecovery(gatewayRecovery)
    , m_floatingPanelCoordinator(std::move(floatingPanelCoordinator))
    , m_structuredFormattingRunner(std::move(structuredFormattingRunner))
    , m_meetingModeTimings(timings)
    , m_currentDate(std::move(currentDate))
    , m_sleepForDuration(std::move(sleepForDuration)) {
    Q_ASSERT(m_floatingPanelCoordinator);
}

MeetingMode::~MeetingMode() {
    m_meetingThresholdTask.cancel();
    m_meetingCountdownTask.cancel();
    m_meetingMinuteUpdateTask.cancel();
}

bool MeetingMode::isRecording() const {
    return m_host.recordingState().is(RecordingState::Case::recording);
}

bool MeetingMode::shouldContinueMeetingModeFlow(const QUuid &sessionID) const {
    return m_host.isCurrentSession(sessionID) && isRecording() &&
           m_configurationStore.meetingModeEnabled() && !m_meetingModeAutoEntryDismissed;
}

void MeetingMode::stopMeetingModeRuntimeTasks() {
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    m_meetingCountdownTask.cancel();
    m_meetingCountdownTask = TaskHandle();
    m_meetingMinuteUpdateTask.cancel();
    m_meetingMinuteUpdateTask = TaskHandle();
    // What the recording became stays, for the minutes at its stop.
    m_host.setMeetingModeCountdownRemainingSeconds(std::nullopt);
}

void MeetingMode::resetMeetingModeSessionState() {
    stopMeetingModeRuntimeTasks();
    m_host.setHasEnteredMeetingMode(false);
    m_host.setMeetingBlocks({});
    m_host.setMeetingRawSegments({});
    m_meetingModeAutoEntryDismissed = false;
    m_lastMeetingTranscriptSnapshot.clear();
    m_pendingMeetingIncrementalText.clear();
    m_lastMeetingEvaluatedIncrementalText.clear();
    m_pendingMeetingIncrementalStartSecond = 0;
    m_meetingTranscriptFollower.reset();
    m_host.resetLiveTranscriptAccumulator();
}

void MeetingMode::cancelMeetingModeAutoEntry() {
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    m_meetingCountdownTask.cancel();
    m_meetingCountdownTask = TaskHandle();
    m_host.setMeetingModeCountdownRemainingSeconds(std::nullopt);
    m_meetingModeAutoEntryDismissed = true;
    m_host.presentRecordingHUD();
}

int MeetingMode::currentMeetingElapsedSeconds() const {
    const std::optional<QDateTime> startedAt = m_host.recordingStartedAt();
    if (!startedAt)
        return 0;
    const double seconds = double(startedAt->msecsTo(m_currentDate())) / 1000.0;
    return std::max(0, int(std::floor(seconds)));
}

MeetingHUDContent MeetingMode::meetingHUDContent() const {
    const int seconds = currentMeetingElapsedSeconds();
    MeetingHUDContent content;
    content.elapsedLabel = QString::asprintf("%02d:%02d", seconds / 60, seconds % 60);
    content.blocks = m_host.meetingBlocks();
    content.rawSegments = m_host.meetingRawSegments();
    content.updateInterval = m_meetingModeTimings.updateInterval;
    return content;
}

std::optional<QString> MeetingMode::meetingModeCountdownToastMessage() const {
    if (!m_host.meetingModeCountdownRemainingSeconds())
        return std::nullopt;
    return QStringLiteral("录音已超过 1 分钟，将在 ") +
           QString::number(*m_host.meetingModeCountdownRemainingSeconds()) +
           QStringLiteral(" 秒后自动进入会议纪要模式");
}

// --- Threshold, countdown and entry ---------------------------------------------------
//
// Each wait runs in a task that captured its recording's session when it
// was made and checks, after every sleep, that it was not cancelled and
// that the session guard still holds, so a task left over from an earlier
// recording, or one that outlived a cancellation, does nothing.

void MeetingMode::scheduleMeetingModeThresholdIfNeeded() {
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    const std::optional<QDateTime> startedAt = m_host.recordingStartedAt();
    if (!m_configurationStore.meetingModeEnabled() || !isRecording() ||
        m_host.hasEnteredMeetingMode() || m_meetingModeAutoEntryDismissed || !startedAt) {
        return;
    }
    // In whole milliseconds, as the clock counts: (60 − 59.999) × 1000 in
    // floating point is a hair above 1 and would round up to 2 ms.
    const double elapsedMilliseconds = double(startedAt->msecsTo(m_currentDate()));
    const double remainingMilliseconds =
        m_meetingModeTimings.threshold * 1000.0 - elapsedMilliseconds;
    if (remainingMilliseconds <= 0) {
        beginMeetingModeCountdownIfNeeded();
        return;
    }
    const double wait = std::ceil(remainingMilliseconds) / 1000.0;
    const QUuid sessionID = m_host.activeRecordingSessionID();
    QPointer<MeetingMode> self(this);
    m_meetingThresholdTask = spawnCancellable(
        this,
        [self, sessionID, wait](CancelToken token) -> QCoro::Task<void> {
            if (self)
                co_await self->waitForMeetingModeThreshold(sessionID, wait, token);
        },
        QStringLiteral("meeting threshold"));
}

QCoro::Task<void> MeetingMode::waitForMeetingModeThreshold(QUuid sessionID, double wait,
                                                           CancelToken token) {
    QPointer<MeetingMode> self(this);
    co_await m_sleepForDuration(wait, token);
    if (token.isCancelled() || !self)
        co_return;
    if (shouldContinueMeetingModeFlow(sessionID))
        beginMeetingModeCountdownIfNeeded();
}

void MeetingMode::beginMeetingModeCountdownIfNeeded() {
    if (!m_configurationStore.meetingModeEnabled() || !isRecording() ||
        m_host.hasEnteredMeetingMode() || m_meetingModeAutoEntryDismissed ||
        m_host.meetingModeCountdownRemainingSeconds()) {
        return;
    }
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    const int seconds = std::max(m_meetingModeTimings.countdownSeconds, 1);
    m_host.setMeetingModeCountdownRemainingSeconds(seconds);
    m_host.presentRecordingHUD();

    const QUuid sessionID = m_host.activeRecordingSessionID();
    QPointer<MeetingMode> self(this);
    m_meetingCountdownTask = spawnCancellable(
        this,
        [self, sessionID, seconds](CancelToken token) -> QCoro::Task<void> {
            if (self)
                co_await self->runMeetingModeCountdown(sessionID, seconds, token);
        },
        QStringLiteral("meeting countdown"));
}

QCoro::Task<void> MeetingMode::runMeetingModeCountdown(QUuid sessionID, int seconds,
                                                       CancelToken token) {
    QPointer<MeetingMode> self(this);
    const auto mayGoOn = [&] {
        return !token.isCancelled() && self && shouldContinueMeetingModeFlow(sessionID);
    };
    // Each value stands one second; entry follows the last one's second.
    for (int remaining = seconds; remaining >= 1; --remaining) {
        if (!mayGoOn())
            co_return;
        m_host.setMeetingModeCountdownRemainingSeconds(remaining);
        m_host.presentRecordingHUD();
        if (remaining > 1)
            co_await m_sleepForDuration(1.0, token);
    }
    if (!mayGoOn())
        co_return;
    co_await m_sleepForDuration(1.0, token);
    if (!mayGoOn())
        co_return;
    co_await enterMeetingModeIfNeeded();
}

QCoro::Task<void> MeetingMode::enterMeetingModeIfNeeded() {
    // The setting and the dismissal are not asked again: the confirm
    // button is the user's own choice.
    if (!isRecording() || m_host.hasEnteredMeetingMode())
        co_return;
    m_meetingCountdownTask.cancel();
    m_meetingCountdownTask = TaskHandle();
    m_host.setMeetingModeCountdownRemainingSeconds(std::nullopt);
    m_host.setHasEnteredMeetingMode(true);
    if (!m_host.refreshEngineStatusNoteForMeeting())
        m_host.setEngineStatusNote(QStringLiteral("当前使用Vellup ASR 2.0 + 会议纪要模式"));

    // Everything said so far is the first pending text, so the first stage
    // covers the recording from its beginning.
    const QString snapshot = currentMeetingTranscriptSnapshot();
    m_lastMeetingTranscriptSnapshot = snapshot;
    m_pendingMeetingIncrementalText = snapshot;
    m_pendingMeetingIncrementalStartSecond = 0;
    m_lastMeetingEvaluatedIncrementalText.clear();
    m_host.setMeetingRawSegments(m_meetingTranscriptFollower.segments(snapshot));
    logMeetingStreamEvent(QStringLiteral("entered_meeting_mode"),
                          QStringLiteral("snapshot_chars=") +
                              QString::number(textkit::graphemeCount(snapshot)));
    m_host.presentRecordingHUD();

    const QUuid sessionID = m_host.activeRecordingSessionID();
    QPointer<MeetingMode> self(this);
    co_await appendMeetingMinuteBlockIfNeeded(true);
    // A recording stopped or cancelled during that first request has no
    // loop to run, and must not replace the loop of one started since.
    if (!self || !m_host.isCurrentSession(sessionID))
        co_return;
    startMeetingMinuteUpdateLoop();
}

void MeetingMode::handleMeetingModeToggleChange(bool enabled) {
    if (!isRecording())
        return;
    if (enabled) {
        if (!m_host.hasEnteredMeetingMode() && !m_meetingModeAutoEntryDismissed)
            scheduleMeetingModeThresholdIfNeeded();
        return;
    }
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    if (m_host.meetingModeCountdownRemainingSeconds()) {
        m_meetingCountdownTask.cancel();
        m_meetingCountdownTask = TaskHandle();
        m_host.setMeetingModeCountdownRemainingSeconds(std::nullopt);
        m_meetingModeAutoEntryDismissed = true;
        m_host.presentRecordingHUD();
    }
    // A recording that is already a meeting stays one; its loop ends at
    // its next wake-up, since the loop needs the setting.
}

} // namespace tovalit
