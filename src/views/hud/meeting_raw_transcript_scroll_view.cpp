#include "views/hud/meeting_raw_transcript_scroll_view.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/meeting_text_styles.h"
#include "views/hud/rounded_box.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tovalit {

namespace {

QColor rowFill(bool isLive) {
    return isLive ? withOpacity(TovalitPalette::brand(), 0.1) : TovalitPalette::white(0.08);
}

RoundedBox *makeRow(qsizetype position, QWidget *parent) {
    auto *row = new RoundedBox(10, rowFill(false), Qt::transparent, parent);
    row->setObjectName(QStringLiteral("segmentRow"));
    auto *column = new QVBoxLayout(row);
    column->setContentsMargins(10, 8, 10, 8);
    column->setSpacing(6);
    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    auto *number =
        new TovalitTextLabel(MeetingRawTranscriptScrollView::segmentLabel(position),
                             tovalitFont(11, QFont::DemiBold), TovalitPalette::brandStrong(), row);
    number->setWraps(false);
    number->setObjectName(QStringLiteral("segmentNumber"));
    header->addWidget(number, 0, Qt::AlignVCenter);
    RoundedBox *live = MeetingTextStyles::pill(
        QStringLiteral("流式中"), tovalitFont(10, QFont::DemiBold), TovalitPalette::orange(),
        withOpacity(TovalitPalette::orange(), 0.12), 8, 4, -1, row);
    live->setObjectName(QStringLiteral("liveBadge"));
    live->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    header->addWidget(live, 0, Qt::AlignVCenter);
    header->addStretch(1);
    column->addLayout(header);
    auto *text = new TovalitTextLabel(QString(), tovalitFont(12, QFont::Medium),
                                      withOpacity(TovalitPalette::primary(), 0.84), row);
    text->setObjectName(QStringLiteral("segmentText"));
    column->addWidget(text);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    row->setSizePolicy(policy);
    return row;
}

void fillRow(RoundedBox *row, const MeetingASRSegment &segment) {
    row->findChild<TovalitTextLabel *>(QStringLiteral("segmentText"))->setText(segment.text);
    row->findChild<RoundedBox *>(QStringLiteral("liveBadge"))->setVisible(segment.isLive);
    row->setColors(rowFill(segment.isLive), Qt::transparent);
    row->setProperty("isLive", segment.isLive);
}

} // namespace

MeetingRawTranscriptScrollView::MeetingRawTranscriptScrollView(QList<MeetingASRSegment> segments,
                                                               QString bottomAnchorID,
                                                               QWidget *parent)
    : MeetingListScrollView(std::move(bottomAnchorID), 10, 14, parent)
    , m_segments(std::move(segments)) {
    setObjectName(QStringLiteral("MeetingRawTranscriptScrollView"));
    applySegments();
}

QString MeetingRawTranscriptScrollView::segmentLabel(qsizetype position) {
    return QString::asprintf("片段 %02lld", static_cast<long long>(position + 1));
}

void MeetingRawTranscriptScrollView::setSegments(QList<MeetingASRSegment> segments) {
    if (segments == m_segments)
        return;
    m_segments = std::move(segments);
    applySegments();
    scrollToBottom(false);
}

void MeetingRawTranscriptScrollView::applySegments() {
    QVBoxLayout *column = contentLayout();
    QWidget *content = widget();
    if (m_segments.isEmpty()) {
        for (RoundedBox *row : std::as_const(m_rows))
            discardEntry(row);
        m_rows.clear();
        if (!m_placeholder) {
            auto *waiting = new TovalitTextLabel(QStringLiteral("正在等待 ASR 流式输出..."),
                                                 tovalitFont(12, QFont::Medium),
                                                 TovalitPalette::secondary(), content);
            waiting->setObjectName(QStringLiteral("rawPlaceholder"));
            waiting->setMinimumHeight(160);
            m_placeholder = waiting;
            column->insertWidget(0, m_placeholder);
        }
        return;
    }
    if (m_placeholder) {
        discardEntry(m_placeholder);
        m_placeholder = nullptr;
    }
    // Rows are reused by position; only the count changes at the end.
    while (m_rows.size() > m_segments.size())
        discardEntry(m_rows.takeLast());
    while (m_rows.size() < m_segments.size()) {
        RoundedBox *row = makeRow(m_rows.size(), content);
        column->insertWidget(int(m_rows.size()), row, 0, Qt::AlignLeft);
        row->show();
        m_rows.append(row);
    }
    for (qsizetype position = 0; position < m_segments.size(); ++position)
        fillRow(m_rows[position], m_segments[position]);
}

} // namespace tovalit
