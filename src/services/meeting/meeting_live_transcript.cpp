#include "services/meeting/meeting_live_transcript.h"

#include "services/meeting/meeting_transcript_follower.h"
#include "support/textkit.h"

namespace tovalit::MeetingLiveTranscript {

QString meetingTranscriptIncrement(const QString &previous, const QString &current) {
    return MeetingTranscriptFollower().increment(previous, current);
}

QString mergedMeetingIncrementalText(const QString &existing, const QString &increment) {
    const QString pending = textkit::trimmed(existing);
    const QString addition = textkit::trimmed(increment);
    if (addition.isEmpty())
        return pending;
    if (pending.isEmpty())
        return addition;
    return pending + u'\n' + addition;
}

QList<MeetingASRSegment> buildMeetingASRSegments(const QString &text) {
    return MeetingTranscriptFollower().segments(text);
}

} // namespace tovalit::MeetingLiveTranscript
