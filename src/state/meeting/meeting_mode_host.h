#pragma once

#include "models/meeting_asr_segment.h"
#include "models/meeting_minute_block.h"
#include "models/recording_state.h"
#include "models/vellup_structured_formatter_configuration.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <exception>
#include <optional>

namespace tovalit {

// What the meeting needs of the dictation session that carries it and of
// the published state it shows through: a read-only view of the recording,
// the few session values a meeting changes, and the published meeting
// values, which stay where every view reads them. Called on the GUI thread
// only.
class MeetingModeHost {
public:
    virtual ~MeetingModeHost() = default;

    // --- The recording, read only -------------------------------------------
    // The recording a task was started for, captured when it is made, so
    // that a task left over from an earlier recording does nothing.
    virtual QUuid activeRecordingSessionID() const = 0;
    // Whether `sessionID` is still the current recording and was not
    // cancelled: a late answer changes nothing of another recording.
    virtual bool isCurrentSession(const QUuid &sessionID) const = 0;
    // Only a recording still running counts down, enters and ticks.
    virtual RecordingState recordingState() const = 0;
    // The threshold, the tick ranges and the panel's clock count from here;
    // absent before capture has started.
    virtual std::optional<QDateTime> recordingStartedAt() const = 0;
    // What has been heard so far: entry's snapshot and the log's length.
    virtual QString liveTranscript() const = 0;
    virtual QString finalTranscript() const = 0;

    // --- The session, written -------------------------------------------------
    // The engine note names the meeting once the recording becomes one:
    // the live recogniser's note, made again; false when none runs.
    virtual bool refreshEngineStatusNoteForMeeting() = 0;
    virtual void setEngineStatusNote(QString note) = 0;
    // A new meeting state starts from no live text at all.
    virtual void resetLiveTranscriptAccumulator() = 0;
    // Redraws the recording panel after a change of what it shows.
    virtual void presentRecordingHUD() = 0;

    // --- Failure texts of the minutes, as the dictation words them ------------
    virtual QString describeFormatterTarget(
        const std::optional<VellupStructuredFormatterConfiguration> &used) const = 0;
    virtual QString presentableGatewayFailureMessage(std::exception_ptr error) const = 0;

    // --- Published meeting values -----------------------------------------------
    // The meeting is their only writer; each write is published at once.
    virtual bool hasEnteredMeetingMode() const = 0;
    virtual std::optional<int> meetingModeCountdownRemainingSeconds() const = 0;
    virtual QList<MeetingMinuteBlock> meetingBlocks() const = 0;
    virtual QList<MeetingASRSegment> meetingRawSegments() const = 0;
    virtual void setHasEnteredMeetingMode(bool value) = 0;
    virtual void setMeetingModeCountdownRemainingSeconds(std::optional<int> value) = 0;
    virtual void setMeetingBlocks(QList<MeetingMinuteBlock> value) = 0;
    virtual void setMeetingRawSegments(QList<MeetingASRSegment> value) = 0;
};

} // namespace tovalit
