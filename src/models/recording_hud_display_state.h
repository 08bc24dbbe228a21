#pragma once

#include "models/meeting_hud_content.h"

#include <optional>

namespace tovalit {

// What the recording panel shows: the compact capsule with its level meter,
// or, once a recording has become a meeting, the expanded meeting panel with
// its content. Compared by value, so an unchanged meeting content is
// recognised as such on every level update.
class RecordingHUDDisplayState {
public:
    // Compact.
    RecordingHUDDisplayState() = default;

    static RecordingHUDDisplayState compact();
    static RecordingHUDDisplayState expandedMeeting(MeetingHUDContent content);

    bool isCompact() const { return !m_meeting.has_value(); }
    // The meeting content; null for the compact capsule.
    const MeetingHUDContent *meetingContent() const;

    bool operator==(const RecordingHUDDisplayState &) const = default;

private:
    std::optional<MeetingHUDContent> m_meeting;
};

} // namespace tovalit
