#include "views/hud/meeting_timeline_scroll_view.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/meeting_timeline_stage_view.h"

#include <QHBoxLayout>
#include <QHash>
#include <QVBoxLayout>

namespace tovalit {

namespace {

QWidget *makePlaceholder(QWidget *parent) {
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
        QStringLiteral(
            "进入会议纪要模式后，系统会每 15 秒判断一次是否追加新的阶段或子节。没有新增时不会"
            "额外展示。"),
        tovalitFont(12, QFont::Medium), withOpacity(TovalitPalette::secondary(), 0.9),
        placeholder));
    column->addStretch(1);
    placeholder->setMinimumHeight(140);
    return placeholder;
}

} // namespace

MeetingTimelineScrollView::MeetingTimelineScrollView(QList<MeetingMinuteBlock> blocks,
                                                     QString bottomAnchorID, QWidget *parent)
    : MeetingListScrollView(std::move(bottomAnchorID), 24, 18, parent)
    , m_blocks(std::move(blocks)) {
    setObjectName(QStringLiteral("MeetingTimelineScrollView"));
    rebuild();
}

void MeetingTimelineScrollView::setBlocks(QList<MeetingMinuteBlock> blocks) {
    if (blocks == m_blocks)
        return;
    m_blocks = std::move(blocks);
    rebuild();
    scrollToBottom(true);
}

void MeetingTimelineScrollView::rebuild() {
    QVBoxLayout *column = contentLayout();
    QWidget *content = widget();

    if (m_blocks.isEmpty()) {
        for (MeetingTimelineStageView *stage : std::as_const(m_stages))
            discardEntry(stage);
        m_stages.clear();
        if (!m_placeholder) {
            m_placeholder = makePlaceholder(content);
            column->insertWidget(0, m_placeholder);
        }
        return;
    }
    if (m_placeholder) {
        discardEntry(m_placeholder);
        m_placeholder = nullptr;
    }

    // Stages keep their view while their block, colour and connector are
    // unchanged; a changed stage is drawn anew.
    QHash<QUuid, MeetingTimelineStageView *> previous;
    for (MeetingTimelineStageView *stage : std::as_const(m_stages))
        previous.insert(stage->block().id(), stage);
    QList<MeetingTimelineStageView *> stages;
    const qsizetype count = m_blocks.size();
    for (qsizetype position = 0; position < count; ++position) {
        const MeetingMinuteBlock &block = m_blocks[position];
        const MeetingStageAccent accent = MeetingStageAccents::resolved(position);
        const bool showsConnector = position < count - 1;
        MeetingTimelineStageView *stage = previous.take(block.id());
        if (stage && (stage->block() != block || stage->accent() != accent ||
                      stage->showsConnector() != showsConnector)) {
            discardEntry(stage);
            stage = nullptr;
        }
        if (!stage)
            stage = new MeetingTimelineStageView(block, accent, showsConnector, content);
        stages.append(stage);
    }
    for (MeetingTimelineStageView *stale : std::as_const(previous))
        discardEntry(stale);
    for (MeetingTimelineStageView *stage : std::as_const(stages))
        column->removeWidget(stage);
    for (qsizetype position = 0; position < stages.size(); ++position) {
        column->insertWidget(int(position), stages[position]);
        stages[position]->show();
    }
    m_stages = std::move(stages);
}

} // namespace tovalit
