#pragma once

#include "models/meeting_minute_block.h"
#include "views/hud/meeting_stage_accent.h"

#include <QWidget>

namespace tovalit {

class PaintedView;

// One stage of the meeting timeline: a coloured rail with a dot (and a
// connector down to the next stage), the stage's title chip, and its text
// modules followed by its visual modules along a module rail.
class MeetingTimelineStageView : public QWidget {
    Q_OBJECT
public:
    MeetingTimelineStageView(MeetingMinuteBlock block, MeetingStageAccent accent,
                             bool showsConnector, QWidget *parent = nullptr);

    const MeetingMinuteBlock &block() const { return m_block; }
    MeetingStageAccent accent() const { return m_accent; }
    bool showsConnector() const { return m_showsConnector; }
    // A stage that stops or starts being the last one.
    void setShowsConnector(bool shows);
    // The column of module cards (empty for a stage without modules).
    QWidget *moduleBlock() const { return m_moduleBlock; }

private:
    MeetingMinuteBlock m_block;
    MeetingStageAccent m_accent;
    bool m_showsConnector;
    PaintedView *m_rail;
    QWidget *m_moduleBlock;
};

} // namespace tovalit
