// The meeting-mode state of a recording, and where a recording hands over
// to meeting mode.

#include "services/app_configuration_store.h"
#include "state/transcriber_view_model.h"

#include <cmath>

namespace tovalit {

bool TranscriberViewModel::shouldContinueMeetingModeFlow(const QUuid &sessionID) const {
    return sessionID == m_activeRecordingSessionID && !m_isSessionCancellationRequested &&
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
    m_liveTranscriptAccumulator.reset();
}

void TranscriberViewModel::cancelMeetingModeAutoEntry() {
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
    m_meetingCountdownTask.cancel();
    m_meetingCountdownTask = TaskHandle();
    setMeetingModeCountdownRemainingSeconds(std::nullopt);
    m_meetingModeAutoEntryDismissed = true;
    presentRecordingHUD();
}

int TranscriberViewModel::currentMeetingElapsedSeconds() const {
    if (!m_recordingStartedAt)
        return 0;
    const double seconds = double(m_recordingStartedAt->msecsTo(m_currentDate())) / 1000.0;
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

// The meeting flow itself (threshold, countdown, entry, the summary tree
// and the minutes) comes with meeting mode. Until then a recording never
// becomes a meeting: the threshold is not armed, so no countdown starts
// and the stop formats every recording as a dictation.

void TranscriberViewModel::handleMeetingModeToggleChange(bool enabled) {
    Q_UNUSED(enabled);
}

void TranscriberViewModel::scheduleMeetingModeThresholdIfNeeded() {
    m_meetingThresholdTask.cancel();
    m_meetingThresholdTask = TaskHandle();
}

QCoro::Task<void> TranscriberViewModel::enterMeetingModeIfNeeded() {
    co_return;
}

void TranscriberViewModel::handleMeetingLiveTranscriptUpdate(const QString &transcript) {
    Q_UNUSED(transcript);
}

QCoro::Task<TranscriberViewModel::FormattedText>
TranscriberViewModel::formatMeetingFinalSummary(QString rawTranscript,
                                                QString normalizedTranscript) {
    Q_UNUSED(rawTranscript);
    Q_UNUSED(normalizedTranscript);
    // An empty text makes the stop keep the dictated text.
    co_return FormattedText{};
}

void TranscriberViewModel::logMeetingStreamEvent(const QString &event, const QString &detail) {
    Q_UNUSED(event);
    Q_UNUSED(detail);
}

} // namespace tovalit
