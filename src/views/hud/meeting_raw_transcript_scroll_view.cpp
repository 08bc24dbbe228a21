#include "views/hud/meeting_raw_transcript_scroll_view.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/meeting_text_styles.h"
#include "views/hud/rounded_box.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

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
    : MeetingListScrollView(std::move(bottomAnchorID), 10, 14, 96, parent)
    , m_segments(std::move(segments)) {
    setObjectName(QStringLiteral("MeetingRawTranscriptScrollView"));
    applySegments({});
}

QString MeetingRawTranscriptScrollView::segmentLabel(qsizetype position) {
    return QString::asprintf("片段 %02lld", static_cast<long long>(position + 1));
}

void MeetingRawTranscriptScrollView::setSegments(QList<MeetingASRSegment> segments) {
    if (segments == m_segments)
        return;
    const QList<MeetingASRSegment> previous = std::exchange(m_segments, std::move(segments));
    applySegments(previous);
    scrollToBottom(false);
}

QList<RoundedBox *> MeetingRawTranscriptScrollView::rows() const {
    QList<RoundedBox *> rows;
    for (QWidget *entry : builtEntries())
        rows.append(static_cast<RoundedBox *>(entry));
    return rows;
}

RoundedBox *MeetingRawTranscriptScrollView::row(qsizetype position) const {
    return static_cast<RoundedBox *>(builtEntry(position));
}

QWidget *MeetingRawTranscriptScrollView::makeEntry(qsizetype index, QWidget *parent) {
    RoundedBox *row = makeRow(index, parent);
    fillRow(row, m_segments[index]);
    return row;
}

bool MeetingRawTranscriptScrollView::refreshEntry(QWidget *entry, qsizetype index) {
    fillRow(static_cast<RoundedBox *>(entry), m_segments[index]);
    return true;
}

void MeetingRawTranscriptScrollView::applySegments(const QList<MeetingASRSegment> &previous) {
    if (m_segments.isEmpty()) {
        setEntryCount(0);
        if (!placeholder()) {
            auto *waiting = new TovalitTextLabel(QStringLiteral("正在等待 ASR 流式输出..."),
                                                 tovalitFont(12, QFont::Medium),
                                                 TovalitPalette::secondary(), content());
            waiting->setObjectName(QStringLiteral("rawPlaceholder"));
            waiting->setMinimumHeight(160);
            setPlaceholder(waiting);
        }
        updateEntries();
        return;
    }
    setPlaceholder(nullptr);
    // Only what a row shows counts; identifiers are new on every update.
    const qsizetype kept = std::min(previous.size(), m_segments.size());
    setEntryCount(m_segments.size());
    for (qsizetype position = 0; position < kept; ++position) {
        const MeetingASRSegment &before = previous[position];
        const MeetingASRSegment &now = m_segments[position];
        if (before.text != now.text || before.isLive != now.isLive)
            entryChanged(position);
    }
    updateEntries();
}

} // namespace tovalit
