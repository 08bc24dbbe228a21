// The meeting-mode state of a recording, and how a long recording becomes a
// meeting: the threshold, the countdown toast, entry, and the setting
// switched while recording.

#include "services/settings/app_configuration_store.h"
#include "state/transcriber_view_model.h"
#include "support/textkit.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace tovalit {

bool TranscriberViewModel::shouldContinueMeetingModeFlow(const QUuid &sessionID) const {
    return m_session->isCurrentSession(sessionID) &&
           m_recordingState.is(RecordingState::Case::recording) &&
           m_configurationStore.meetingModeEnabled() && !m_meetingModeAutoEntryDismissed;
}

void TranscriberViewModel::stopMeetingModeRuntimeTasks() {
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    m_meetingCountdownTask.cancel();
    m_meetingCountdownTask = TaskHandle();
    m_meetingMinuteUpdateTask.cancel();
    m_meetingMinuteUpdateTask = TaskHandle();
    // What the recording became stays, for the minutes at its stop.
    setMeetingModeCountdownRemainingSeconds(std::nullopt);
}

void TranscriberViewModel::resetMeetingModeSessionState() {
    stopMeetingModeRuntimeTasks();
    setHasEnteredMeetingMode(false);
    setMeetingBlocks({});
    setMeetingRawSegments({});
    m_meetingModeAutoEntryDismissed = false;
    m_lastMeetingTranscriptSnapshot.clear();
    m_pendingMeetingIncrementalText.clear();
    m_lastMeetingEvaluatedIncrementalText.clear();
    m_pendingMeetingIncrementalStartSecond = 0;
    m_meetingTranscriptFollower.reset();
    m_session->clearLiveTranscriptAccumulator();
}

void TranscriberViewModel::cancelMeetingModeAutoEntry() {
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    m_meetingCountdownTask.cancel();
    m_meetingCountdownTask = TaskHandle();
    setMeetingModeCountdownRemainingSeconds(std::nullopt);
    m_meetingModeAutoEntryDismissed = true;
    m_session->presentRecordingHUD();
}

int TranscriberViewModel::currentMeetingElapsedSeconds() const {
    if (!m_session->recordingStartedAt())
        return 0;
    const double seconds =
        double(m_session->recordingStartedAt()->msecsTo(m_currentDate())) / 1000.0;
    return std::max(0, int(std::floor(seconds)));
}

MeetingHUDContent TranscriberViewModel::meetingHUDContent() const {
    const int seconds = currentMeetingElapsedSeconds();
    MeetingHUDContent content;
    content.elapsedLabel = QString::asprintf("%02d:%02d", seconds / 60, seconds % 60);
    content.blocks = m_meetingBlocks;
    content.rawSegments = m_meetingRawSegments;
    return content;
}

std::optional<QString> TranscriberViewModel::meetingModeCountdownToastMessage() const {
    if (!m_meetingModeCountdownRemainingSeconds)
        return std::nullopt;
    return QStringLiteral("录音已超过 1 分钟，将在 ") +
           QString::number(*m_meetingModeCountdownRemainingSeconds) +
           QStringLiteral(" 秒后自动进入会议纪要模式");
}

// --- Threshold, countdown and entry ---------------------------------------------------
//
// Each wait runs in a task that captured its recording's session when it
// was made and checks, after every sleep, that it was not cancelled and
// that the session guard still holds, so a task left over from an earlier
// recording, or one that outlived a cancellation, does nothing.

void TranscriberViewModel::scheduleMeetingModeThresholdIfNeeded() {
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    if (!m_configurationStore.meetingModeEnabled() ||
        !m_recordingState.is(RecordingState::Case::recording) || m_hasEnteredMeetingMode ||
        m_meetingModeAutoEntryDismissed || !m_session->recordingStartedAt()) {
        return;
    }
    // In whole milliseconds, as the clock counts: (60 − 59.999) × 1000 in
    // floating point is a hair above 1 and would round up to 2 ms.
    const double elapsedMilliseconds =
        double(m_session->recordingStartedAt()->msecsTo(m_currentDate()));
    const double remainingMilliseconds =
        m_meetingModeTimings.threshold * 1000.0 - elapsedMilliseconds;
    if (remainingMilliseconds <= 0) {
        beginMeetingModeCountdownIfNeeded();
        return;
    }
    const double wait = std::ceil(remainingMilliseconds) / 1000.0;
    const QUuid sessionID = m_session->activeSessionID();
    QPointer<TranscriberViewModel> self(this);
    m_meetingThresholdTask = spawnCancellable(
        this,
        [self, sessionID, wait](CancelToken token) -> QCoro::Task<void> {
            if (self)
                co_await self->waitForMeetingModeThreshold(sessionID, wait, token);
        },
        QStringLiteral("meeting threshold"));
}

QCoro::Task<void> TranscriberViewModel::waitForMeetingModeThreshold(QUuid sessionID, double wait,
                                                                    CancelToken token) {
    QPointer<TranscriberViewModel> self(this);
    co_await m_sleepForDuration(wait, token);
    if (token.isCancelled() || !self)
        co_return;
    if (shouldContinueMeetingModeFlow(sessionID))
        beginMeetingModeCountdownIfNeeded();
}

void TranscriberViewModel::beginMeetingModeCountdownIfNeeded() {
    if (!m_configurationStore.meetingModeEnabled() ||
        !m_recordingState.is(RecordingState::Case::recording) || m_hasEnteredMeetingMode ||
        m_meetingModeAutoEntryDismissed || m_meetingModeCountdownRemainingSeconds) {
        return;
    }
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    const int seconds = std::max(m_meetingModeTimings.countdownSeconds, 1);
    setMeetingModeCountdownRemainingSeconds(seconds);
    m_session->presentRecordingHUD();

    const QUuid sessionID = m_session->activeSessionID();
    QPointer<TranscriberViewModel> self(this);
    m_meetingCountdownTask = spawnCancellable(
        this,
        [self, sessionID, seconds](CancelToken token) -> QCoro::Task<void> {
            if (self)
                co_await self->runMeetingModeCountdown(sessionID, seconds, token);
        },
        QStringLiteral("meeting countdown"));
}

QCoro::Task<void> TranscriberViewModel::runMeetingModeCountdown(QUuid sessionID, int seconds,
                                                                CancelToken token) {
    QPointer<TranscriberViewModel> self(this);
    const auto mayGoOn = [&] {
        return !token.isCancelled() && self && shouldContinueMeetingModeFlow(sessionID);
    };
    // Each value stands one second; entry follows the last one's second.
    for (int remaining = seconds; remaining >= 1; --remaining) {
        if (!mayGoOn())
            co_return;
        setMeetingModeCountdownRemainingSeconds(remaining);
        m_session->presentRecordingHUD();
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

QCoro::Task<void> TranscriberViewModel::enterMeetingModeIfNeeded() {
    // The setting and the dismissal are not asked again: the confirm
    // button is the user's own choice.
    if (!m_recordingState.is(RecordingState::Case::recording) || m_hasEnteredMeetingMode)
        co_return;
    m_meetingCountdownTask.cancel();
    m_meetingCountdownTask = TaskHandle();
    setMeetingModeCountdownRemainingSeconds(std::nullopt);
    setHasEnteredMeetingMode(true);
    if (!m_session->refreshLiveEngineStatusNote())
        m_session->setEngineStatusNote(QStringLiteral("当前使用Vellup ASR 2.0 + 会议纪要模式"));

    // Everything said so far is the first pending text, so the first stage
    // covers the recording from its beginning.
    const QString snapshot = currentMeetingTranscriptSnapshot();
    m_lastMeetingTranscriptSnapshot = snapshot;
    m_pendingMeetingIncrementalText = snapshot;
    m_pendingMeetingIncrementalStartSecond = 0;
    m_lastMeetingEvaluatedIncrementalText.clear();
    setMeetingRawSegments(m_meetingTranscriptFollower.segments(snapshot));
    logMeetingStreamEvent(QStringLiteral("entered_meeting_mode"),
                          QStringLiteral("snapshot_chars=") +
                              QString::number(textkit::graphemeCount(snapshot)));
    m_session->presentRecordingHUD();

    const QUuid sessionID = m_session->activeSessionID();
    QPointer<TranscriberViewModel> self(this);
    co_await appendMeetingMinuteBlockIfNeeded(true);
    // A recording stopped or cancelled during that first request has no
    // loop to run, and must not replace the loop of one started since.
    if (!self || !m_session->isCurrentSession(sessionID))
        co_return;
    startMeetingMinuteUpdateLoop();
}

void TranscriberViewModel::handleMeetingModeToggleChange(bool enabled) {
    if (!m_recordingState.is(RecordingState::Case::recording))
        return;
    if (enabled) {
        if (!m_hasEnteredMeetingMode && !m_meetingModeAutoEntryDismissed)
            scheduleMeetingModeThresholdIfNeeded();
        return;
    }
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    if (m_meetingModeCountdownRemainingSeconds) {
        m_meetingCountdownTask.cancel();
        m_meetingCountdownTask = TaskHandle();
        setMeetingModeCountdownRemainingSeconds(std::nullopt);
        m_meetingModeAutoEntryDismissed = true;
        m_session->presentRecordingHUD();
    }
    // A recording that is already a meeting stays one; its loop ends at
    // its next wake-up, since the loop needs the setting.
}

} // namespace tovalit
