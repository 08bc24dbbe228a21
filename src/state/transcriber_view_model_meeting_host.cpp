// The session's side of the meeting's seam: what the meeting reads of the
// recording that carries it and the few session values it changes.

#include "state/transcriber_view_model.h"

namespace tovalit {

QUuid TranscriberViewModel::activeRecordingSessionID() const {
    return m_activeRecordingSessionID;
}

std::optional<QDateTime> TranscriberViewModel::recordingStartedAt() const {
    return m_recordingStartedAt;
}

bool TranscriberViewModel::refreshEngineStatusNoteForMeeting() {
    if (!m_transcriber)
        return false;
    refreshLiveEngineStatusNote(*m_transcriber, false);
    return true;
}

void TranscriberViewModel::setEngineStatusNote(QString note) {
    m_engineStatusNote = std::move(note);
}

void TranscriberViewModel::resetLiveTranscriptAccumulator() {
    m_liveTranscriptAccumulator.reset();
}

} // namespace tovalit
