#pragma once

#include <QColor>

#include <array>
#include <optional>

namespace tovalit {

// The colour of one stage of the meeting timeline, repeating every five
// stages.
enum class MeetingStageAccent { purple = 0, orange = 1, green = 2, pink = 3, teal = 4 };

inline constexpr std::array<MeetingStageAccent, 5> allMeetingStageAccents{
    MeetingStageAccent::purple, MeetingStageAccent::orange, MeetingStageAccent::green,
    MeetingStageAccent::pink, MeetingStageAccent::teal};

namespace MeetingStageAccents {

// Only for 0...4.
std::optional<MeetingStageAccent> fromRawValue(int rawValue);
// The accent of the stage at zero-based `index`.
MeetingStageAccent resolved(qsizetype index);

QColor tint(MeetingStageAccent accent);
// The tint at 0.12: stage titles and text module cards.
QColor fill(MeetingStageAccent accent);
// The tint at 0.28: rails, connectors, card strokes.
QColor line(MeetingStageAccent accent);

} // namespace MeetingStageAccents

} // namespace tovalit
