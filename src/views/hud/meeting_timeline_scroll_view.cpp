#include "views/hud/meeting_timeline_scroll_view.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/meeting_timeline_stage_view.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace tovalit {

namespace {

QWidget *makePlaceholder(double updateInterval, QWidget *parent) {
    auto *placeholder = new QWidget(parent);
    placeholder->setObjectName(QStringLiteral("timelinePlaceholder"));
    auto *column = new QVBoxLayout(placeholder);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto *label = new QHBoxLayout;
    label->setSpacing(6);
    label->addWidget(new TovalitSymbolView(QStringLiteral("point.3.connected.trianglepath.dotted"),
                                           13, TovalitPalette::brandStrong(), placeholder),
                     0, Qt::AlignVCenter);
    auto *title =
        new TovalitTextLabel(QStringLiteral("正在等待实时总结树"), tovalitFont(13, QFont::DemiBold),
                             TovalitPalette::brandStrong(), placeholder);
    title->setWraps(false);
    label->addWidget(title, 0, Qt::AlignVCenter);
    label->addStretch(1);
    column->addLayout(label);
    column->addWidget(new TovalitTextLabel(
        QStringLiteral("进入会议纪要模式后，系统会每 ") + QString::number(updateInterval) +
            QStringLiteral(" 秒判断一次是否追加新的阶段或子节。没有新增时不会额外展示。"),
        tovalitFont(12, QFont::Medium), withOpacity(TovalitPalette::secondary(), 0.9),
        placeholder));
    column->addStretch(1);
    placeholder->setMinimumHeight(140);
    return placeholder;
}

} // namespace

MeetingTimelineScrollView::MeetingTimelineScrollView(QList<MeetingMinuteBlock> blocks,
                                                     QString bottomAnchorID, double updateInterval,
                                                     QWidget *parent)
    : MeetingListScrollView(std::move(bottomAnchorID), 24, 18, 240, parent)
    , m_blocks(std::move(blocks))
    , m_updateInterval(updateInterval) {
    setObjectName(QStringLiteral("MeetingTimelineScrollView"));
    applyBlocks({});
}

void MeetingTimelineScrollView::setBlocks(QList<MeetingMinuteBlock> blocks) {
    if (blocks == m_blocks)
        return;
    const QList<MeetingMinuteBlock> previous = std::exchange(m_blocks, std::move(blocks));
    applyBlocks(previous);
    scrollToBottom(true);
}

QList<MeetingTimelineStageView *> MeetingTimelineScrollView::stageViews() const {
    QList<MeetingTimelineStageView *> stages;
    for (QWidget *entry : builtEntries())
        stages.append(static_cast<MeetingTimelineStageView *>(entry));
    return stages;
}

QWidget *MeetingTimelineScrollView::makeEntry(qsizetype index, QWidget *parent) {
    return new MeetingTimelineStageView(m_blocks[index], MeetingStageAccents::resolved(index),
                                        index < m_blocks.size() - 1, parent);
}

bool MeetingTimelineScrollView::refreshEntry(QWidget *entry, qsizetype index) {
    auto *stage = static_cast<MeetingTimelineStageView *>(entry);
    if (stage->block() != m_blocks[index])
        return false;
    stage->setShowsConnector(index < m_blocks.size() - 1);
    return true;
}

void MeetingTimelineScrollView::applyBlocks(const QList<MeetingMinuteBlock> &previous) {
    if (m_blocks.isEmpty()) {
        setEntryCount(0);
        if (!placeholder())
            setPlaceholder(makePlaceholder(m_updateInterval, content()));
        updateEntries();
        return;
    }
    setPlaceholder(nullptr);
    // A stage changes when its block changed or it gained or lost its
    // connector; its colour follows its position, which it keeps.
    const qsizetype kept = std::min(previous.size(), m_blocks.size());
    const auto connects = [](qsizetype position, qsizetype count) { return position < count - 1; };
    setEntryCount(m_blocks.size());
    for (qsizetype position = 0; position < kept; ++position) {
        if (previous[position] != m_blocks[position] ||
            connects(position, previous.size()) != connects(position, m_blocks.size())) {
            entryChanged(position);
        }
    }
    updateEntries();
}

} // namespace tovalit
