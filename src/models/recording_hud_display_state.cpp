#include "models/recording_hud_display_state.h"

namespace tovalit {

RecordingHUDDisplayState RecordingHUDDisplayState::compact() {
    return {};
}

RecordingHUDDisplayState RecordingHUDDisplayState::expandedMeeting(MeetingHUDContent content) {
    RecordingHUDDisplayState state;
    state.m_meeting = std::move(content);
    return state;
}

const MeetingHUDContent *RecordingHUDDisplayState::meetingContent() const {
    return m_meeting ? &*m_meeting : nullptr;
}

} // namespace tovalit
