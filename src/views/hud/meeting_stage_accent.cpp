#include "views/hud/meeting_stage_accent.h"

#include "views/design/tovalit_palette.h"

namespace tovalit::MeetingStageAccents {

std::optional<MeetingStageAccent> fromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue >= int(allMeetingStageAccents.size()))
        return std::nullopt;
    return allMeetingStageAccents[std::size_t(rawValue)];
}

MeetingStageAccent resolved(qsizetype index) {
    const qsizetype count = qsizetype(allMeetingStageAccents.size());
    const qsizetype position = ((index % count) + count) % count;
    return allMeetingStageAccents[std::size_t(position)];
}

QColor tint(MeetingStageAccent accent) {
    switch (accent) {
    case MeetingStageAccent::purple:
        return QColor(111, 120, 232);
    case MeetingStageAccent::orange:
        return QColor(207, 138, 69);
    case MeetingStageAccent::green:
        return QColor(74, 154, 100);
    case MeetingStageAccent::pink:
        return QColor(192, 103, 146);
    case MeetingStageAccent::teal:
        return QColor(62, 154, 144);
    }
    Q_UNREACHABLE();
}

QColor fill(MeetingStageAccent accent) {
    return withOpacity(tint(accent), 0.12);
}

QColor line(MeetingStageAccent accent) {
    return withOpacity(tint(accent), 0.28);
}

} // namespace tovalit::MeetingStageAccents
