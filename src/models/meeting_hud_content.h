#pragma once

#include "models/meeting_asr_segment.h"
#include "models/meeting_minute_block.h"
#include "models/meeting_mode_timings.h"

#include <QList>
#include <QString>

namespace tovalit {

// What the expanded meeting panel draws: the elapsed time ("mm:ss", minutes
// not wrapped into hours), the summary tree and the raw segments.
struct MeetingHUDContent {
    QString elapsedLabel;
    QList<MeetingMinuteBlock> blocks;
    QList<MeetingASRSegment> rawSegments;
    // Seconds between the looks at the summary tree, as the meeting's loop
    // keeps them: the panel tells the user how often to expect a stage.
    double updateInterval = MeetingModeTimings::defaultTimings().updateInterval;

    bool operator==(const MeetingHUDContent &) const = default;
};

} // namespace tovalit
