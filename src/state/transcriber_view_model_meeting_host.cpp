// The session's side of the meeting's seam: what the meeting reads of the
// recording that carries it and the few session values it changes.

#include "state/session/dictation_session.h"
#include "state/transcriber_view_model.h"

namespace tovalit {

QUuid TranscriberViewModel::activeRecordingSessionID() const {
    return m_session->activeSessionID();
}

bool TranscriberViewModel::isCurrentSession(const QUuid &sessionID) const {
    return m_session->isCurrentSession(sessionID);
}

std::optional<QDateTime> TranscriberViewModel::recordingStartedAt() const {
    return m_session->recordingStartedAt();
}

bool TranscriberViewModel::refreshEngineStatusNoteForMeeting() {
    return m_session->refreshLiveEngineStatusNote();
}

void TranscriberViewModel::resetLiveTranscriptAccumulator() {
    m_session->clearLiveTranscriptAccumulator();
}

void TranscriberViewModel::presentRecordingHUD() {
    m_session->presentRecordingHUD();
}

} // namespace tovalit
