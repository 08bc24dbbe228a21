#pragma once

#include "models/meeting_minute_block.h"
#include "views/hud/meeting_list_scroll_view.h"

#include <QList>

namespace tovalit {

class MeetingTimelineStageView;

// The live summary tree as a vertical timeline of stages, following its
// newest stage. Until the first stage lands it explains what will appear,
// and how often (`updateInterval`, in seconds) the tree is looked at.
// Stages are built as they come into view; one whose block is unchanged
// keeps its view, gaining or losing its connector in place.
class MeetingTimelineScrollView : public MeetingListScrollView {
    Q_OBJECT
public:
    MeetingTimelineScrollView(QList<MeetingMinuteBlock> blocks, QString bottomAnchorID,
                              double updateInterval, QWidget *parent = nullptr);

    // Any change (a new stage, an edited earlier one) redraws what changed
    // and scrolls to the bottom with an ease-out; the user's own scroll
    // position is not kept.
    void setBlocks(QList<MeetingMinuteBlock> blocks);
    const QList<MeetingMinuteBlock> &blocks() const { return m_blocks; }

    // The stages built now (those in or near view), in order.
    QList<MeetingTimelineStageView *> stageViews() const;
    // Null once there are stages.
    QWidget *placeholder() const { return placeholderWidget(); }

protected:
    QWidget *makeEntry(qsizetype index, QWidget *parent) override;
    bool refreshEntry(QWidget *entry, qsizetype index) override;

private:
    void applyBlocks(const QList<MeetingMinuteBlock> &previous);

    QList<MeetingMinuteBlock> m_blocks;
    double m_updateInterval;
};

} // namespace tovalit
