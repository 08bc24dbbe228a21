// A meeting's view of the live transcript (the pending text of the next
// summary tick and the raw segments of the panel), and the meeting log.

#include "services/meeting/meeting_live_transcript.h"
#include "services/meeting/meeting_mode_debug_logger.h"
#include "services/settings/app_configuration_store.h"
#include "state/transcriber_view_model.h"
#include "support/textkit.h"

namespace tovalit {

void TranscriberViewModel::handleMeetingLiveTranscriptUpdate(const QString &transcript) {
    // Before entry nothing is kept here: entry takes a snapshot instead.
    if (!m_recordingState.is(RecordingState::Case::recording) || !m_hasEnteredMeetingMode)
        return;
    const QString current = textkit::trimmed(transcript);
    if (current.isEmpty()) {
        // The snapshot and the pending text stay for when text comes back.
        setMeetingRawSegments({});
        return;
    }
    const QString increment =
        m_meetingTranscriptFollower.increment(m_lastMeetingTranscriptSnapshot, current);
    if (!increment.isEmpty()) {
        m_pendingMeetingIncrementalText = MeetingLiveTranscript::mergedMeetingIncrementalText(
            m_pendingMeetingIncrementalText, increment);
    }
    m_lastMeetingTranscriptSnapshot = current;
    setMeetingRawSegments(m_meetingTranscriptFollower.segments(current));
    m_session->presentRecordingHUD();
}

QString TranscriberViewModel::currentMeetingTranscriptSnapshot() const {
    const QString live = textkit::trimmed(m_liveTranscript);
    return live.isEmpty() ? textkit::trimmed(m_finalTranscript) : live;
}

void TranscriberViewModel::logMeetingStreamEvent(const QString &event, const QString &detail) {
    if (!m_hasEnteredMeetingMode && !m_configurationStore.meetingModeEnabled())
        return;
    MeetingModeDebugLogger::StreamRecord record;
    record.timestamp = m_currentDate();
    record.sessionID = m_session->activeSessionID();
    record.event = event;
    record.detail = detail;
    record.liveTranscriptCharacters = textkit::graphemeCount(textkit::trimmed(m_liveTranscript));
    MeetingModeDebugLogger::shared().append(MeetingModeDebugLogger::streamRecordText(record));
}

void TranscriberViewModel::logMeetingIncrementalDecision(
    const StructuredFormattingTask::MeetingIncremental &tick, const QString &currentWindow,
    const QString &response, const QString &result, const QUuid &sessionID) {
    MeetingModeDebugLogger::DecisionRecord record;
    record.timestamp = m_currentDate();
    record.sessionID = sessionID;
    record.rangeLabel = tick.rangeLabel;
    record.pendingSeconds = tick.pendingSeconds;
    record.mustDecide = tick.mustDecide;
    record.result = result;
    record.currentStageTitle = tick.currentStageTitle;
    record.currentStageModules = tick.currentStageModules;
    record.previousStages = tick.previousStages;
    record.recentContext = tick.recentContext;
    record.currentWindow = currentWindow;
    record.response = response;
    MeetingModeDebugLogger::shared().append(MeetingModeDebugLogger::decisionRecordText(record));
}

} // namespace tovalit
