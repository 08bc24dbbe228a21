#include "views/hud/expanded_meeting_hud_view.h"

#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/hud_layout.h"
#include "views/hud/hud_round_button.h"
#include "views/hud/meeting_hud_tab_button.h"
#include "views/hud/meeting_raw_transcript_scroll_view.h"
#include "views/hud/meeting_resize_handle_overlay.h"
#include "views/hud/meeting_timeline_scroll_view.h"
#include "views/hud/panel_drag_gesture.h"
#include "views/hud/rounded_box.h"
#include "views/hud/waveform_bars_view.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tovalit {

namespace {
const QString timelineAnchor = QStringLiteral("meeting-timeline-bottom-anchor");
const QString rawAnchor = QStringLiteral("meeting-raw-bottom-anchor");
} // namespace

QString title(MeetingHUDTab tab) {
    switch (tab) {
    case MeetingHUDTab::timeline:
        return QStringLiteral("实时总结");
    case MeetingHUDTab::rawTranscript:
        return QStringLiteral("ASR 原文");
    }
    Q_UNREACHABLE();
}

QString ExpandedMeetingHUDView::elapsedBadgeTitle(const QString &elapsedLabel) {
    return QStringLiteral("会议时间 ") + elapsedLabel;
}

ExpandedMeetingHUDView::ExpandedMeetingHUDView(QList<double> levels, MeetingHUDContent content,
                                               QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::hud(), parent)
    , m_content(std::move(content))
    , m_cancel(new HUDRoundButton(QStringLiteral("xmark"), QStringLiteral("取消"), 26, this))
    , m_finish(new HUDRoundButton(QStringLiteral("checkmark"), QStringLiteral("完成"), 26, this))
    , m_dragZone(new RoundedBox(12, TovalitPalette::white(0.04), TovalitPalette::white(0.08), this))
    , m_meter(new WaveformBarsView(8, 22, m_dragZone))
    , m_badge(new TovalitBadge(elapsedBadgeTitle(m_content.elapsedLabel), TovalitBadgeTone::brand,
                               this))
    , m_card(new TovalitGlassSurface(TovalitGlassLevel::card(), this)) {
    setObjectName(QStringLiteral("ExpandedMeetingHUDView"));
    setCastsShadow(false);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_finish->setObjectName(QStringLiteral("finishButton"));
    m_meter->setObjectName(QStringLiteral("WaveformBarsView"));
    m_meter->setLevels(levels);
    m_badge->setObjectName(QStringLiteral("elapsedBadge"));
    m_card->setObjectName(QStringLiteral("contentCard"));
    m_card->setCastsShadow(false);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(10);

    // Drag bar.
    auto *dragBar = new QHBoxLayout;
    dragBar->setSpacing(8);
    dragBar->addWidget(m_cancel, 0, Qt::AlignVCenter);
    m_dragZone->setObjectName(QStringLiteral("dragZone"));
    m_dragZone->setFixedHeight(28);
    m_dragZone->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_dragZone->setCursor(Qt::OpenHandCursor);
    auto *zone = new QHBoxLayout(m_dragZone);
    zone->setContentsMargins(0, 0, 0, 0);
    zone->addWidget(m_meter, 1, Qt::AlignVCenter);
    // The whole zone moves the panel, the meter included.
    m_meter->setAttribute(Qt::WA_TransparentForMouseEvents);
    dragBar->addWidget(m_dragZone, 1);
    dragBar->addWidget(m_finish, 0, Qt::AlignVCenter);
    column->addLayout(dragBar);

    // Body column: the header row, 8 above the content card.
    auto *body = new QVBoxLayout;
    body->setSpacing(8);
    column->addLayout(body, 1);

    // Header row.
    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    auto *caption =
        new TovalitTextLabel(QStringLiteral("内容视图"), tovalitFont(12, QFont::DemiBold),
                             withOpacity(TovalitPalette::primary(), 0.82), this);
    caption->setWraps(false);
    caption->setObjectName(QStringLiteral("contentCaption"));
    header->addWidget(caption, 0, Qt::AlignVCenter);
    auto *tabs = new RoundedBox(-1, TovalitPalette::white(0.08), TovalitPalette::white(0.16), this);
    tabs->setObjectName(QStringLiteral("tabSwitch"));
    auto *tabRow = new QHBoxLayout(tabs);
    tabRow->setContentsMargins(4, 4, 4, 4);
    tabRow->setSpacing(6);
    for (std::size_t index = 0; index < allMeetingHUDTabs.size(); ++index) {
        const MeetingHUDTab tab = allMeetingHUDTabs[index];
        auto *button = new MeetingHUDTabButton(title(tab), tabs);
        button->setSelected(tab == m_selectedTab);
        connect(button, &QAbstractButton::clicked, this, [this, tab] { selectTab(tab); });
        tabRow->addWidget(button);
        m_tabButtons[index] = button;
    }
    tabs->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    header->addWidget(tabs, 0, Qt::AlignVCenter);
    header->addSpacing(8);
    header->addStretch(1);
    header->addWidget(m_badge, 0, Qt::AlignVCenter);
    body->addLayout(header);

    // Content card.
    auto *cardLayout = new QVBoxLayout(m_card);
    cardLayout->setContentsMargins(0, 0, 0, 0);
    m_card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    body->addWidget(m_card, 1);
    showSelectedList();

    setMinimumSize(HUDLayout::expandedMeetingMinimumSize.toSize());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    m_resizeHandles = new MeetingResizeHandleOverlay(this);
    connect(m_resizeHandles, &MeetingResizeHandleOverlay::resizeChanged, this,
            &ExpandedMeetingHUDView::resizeChanged);
    connect(m_resizeHandles, &MeetingResizeHandleOverlay::resizeEnded, this,
            &ExpandedMeetingHUDView::resizeEnded);

    connect(m_cancel, &QAbstractButton::clicked, this, &ExpandedMeetingHUDView::cancelRequested);
    connect(m_finish, &QAbstractButton::clicked, this, &ExpandedMeetingHUDView::finishRequested);
    auto *drag = new PanelDragGesture(m_dragZone, 2);
    drag->onChanged = [this](QSizeF translation) { Q_EMIT dragChanged(translation); };
    drag->onEnded = [this] { Q_EMIT dragEnded(); };
}

MeetingHUDTabButton *ExpandedMeetingHUDView::tabButton(MeetingHUDTab tab) const {
    return m_tabButtons[tab == MeetingHUDTab::timeline ? 0 : 1];
}

void ExpandedMeetingHUDView::setLevels(const QList<double> &levels) {
    m_meter->setLevels(levels);
}

void ExpandedMeetingHUDView::setContent(MeetingHUDContent content) {
    if (content == m_content)
        return;
    m_content = std::move(content);
    m_badge->setTitle(elapsedBadgeTitle(m_content.elapsedLabel));
    // Only the list on show follows the content; the other catches up when
    // its tab is chosen.
    if (m_selectedTab == MeetingHUDTab::timeline)
        m_timelineList->setBlocks(m_content.blocks);
    else
        m_rawList->setSegments(m_content.rawSegments);
}

void ExpandedMeetingHUDView::selectTab(MeetingHUDTab tab) {
    if (tab == m_selectedTab)
        return;
    m_selectedTab = tab;
    for (std::size_t index = 0; index < allMeetingHUDTabs.size(); ++index)
        m_tabButtons[index]->setSelected(allMeetingHUDTabs[index] == tab);
    showSelectedList();
}

MeetingTimelineScrollView *ExpandedMeetingHUDView::timeline() const {
    return m_selectedTab == MeetingHUDTab::timeline ? m_timelineList : nullptr;
}

MeetingRawTranscriptScrollView *ExpandedMeetingHUDView::rawTranscript() const {
    return m_selectedTab == MeetingHUDTab::rawTranscript ? m_rawList : nullptr;
}

void ExpandedMeetingHUDView::showSelectedList() {
    // Each list is made the first time its tab is chosen and then kept,
    // hidden while the other shows: coming back to a tab costs what changed
    // meanwhile, not the whole meeting.
    MeetingListScrollView *shown = nullptr;
    if (m_selectedTab == MeetingHUDTab::rawTranscript) {
        if (!m_rawList)
            m_rawList = new MeetingRawTranscriptScrollView({}, rawAnchor, m_card);
        m_rawList->setSegments(m_content.rawSegments);
        shown = m_rawList;
    } else {
        if (!m_timelineList)
            m_timelineList =
                new MeetingTimelineScrollView({}, timelineAnchor, m_content.updateInterval, m_card);
        m_timelineList->setBlocks(m_content.blocks);
        shown = m_timelineList;
    }
    QLayout *cardLayout = m_card->layout();
    if (cardLayout->indexOf(shown) < 0)
        cardLayout->addWidget(shown);
    for (MeetingListScrollView *list : {static_cast<MeetingListScrollView *>(m_timelineList),
                                        static_cast<MeetingListScrollView *>(m_rawList)}) {
        if (list && list != shown)
            list->hide();
    }
    shown->show();
    // The list now shown jumps to its newest entry.
    shown->scrollToBottom(false);
}

} // namespace tovalit
