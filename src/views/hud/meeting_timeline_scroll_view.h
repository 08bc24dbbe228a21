#pragma once

#include "models/meeting_minute_block.h"
#include "views/hud/meeting_list_scroll_view.h"

#include <QList>

namespace tovalit {

class MeetingTimelineStageView;

// The live summary tree as a vertical timeline of stages, following its
// newest stage. Until the first stage lands it explains what will appear.
class MeetingTimelineScrollView : public MeetingListScrollView {
    Q_OBJECT
public:
    MeetingTimelineScrollView(QList<MeetingMinuteBlock> blocks, QString bottomAnchorID,
                              QWidget *parent = nullptr);

    // Any change (a new stage, an edited earlier one) redraws what changed
    // and scrolls to the bottom with an ease-out; the user's own scroll
    // position is not kept.
    void setBlocks(QList<MeetingMinuteBlock> blocks);
    const QList<MeetingMinuteBlock> &blocks() const { return m_blocks; }

    QList<MeetingTimelineStageView *> stageViews() const { return m_stages; }
    // Null once there are stages.
    QWidget *placeholder() const { return m_placeholder; }

private:
    void rebuild();

    QList<MeetingMinuteBlock> m_blocks;
    QList<MeetingTimelineStageView *> m_stages;
    QWidget *m_placeholder = nullptr;
};

} // namespace tovalit
