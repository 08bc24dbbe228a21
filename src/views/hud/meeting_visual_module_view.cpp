#include "views/hud/meeting_visual_module_view.h"

#include "support/textkit.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/meeting_text_styles.h"
#include "views/hud/meeting_visual_boards.h"
#include "views/hud/rounded_box.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tovalit {

namespace {

using namespace MeetingStageAccents;

// Cards and chips keep a white, neutral badge; every other kind wears the
// stage's colours (the decision log on orange).
bool isNeutralKind(MeetingVisualModuleKind kind) {
    return kind == MeetingVisualModuleKind::cards || kind == MeetingVisualModuleKind::chips;
}

} // namespace

MeetingVisualModuleView::MeetingVisualModuleView(MeetingVisualModule module,
                                                 MeetingStageAccent accent, QWidget *parent)
    : QWidget(parent)
    , m_module(std::move(module))
    , m_accent(accent) {
    setObjectName(QStringLiteral("MeetingVisualModuleView"));
    setAttribute(Qt::WA_TranslucentBackground);
    const MeetingVisualModuleKind kind = m_module.kind;

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(MeetingTextStyles::moduleTitle(m_module.title, this), 1, Qt::AlignTop);
    header->addSpacing(8);

    auto *badge =
        new RoundedBox(-1, badgeFillColor(kind, accent), badgeStrokeColor(kind, accent), this);
    badge->setObjectName(QStringLiteral("kindBadge"));
    auto *badgeRow = new QHBoxLayout(badge);
    badgeRow->setContentsMargins(8, 5, 8, 5);
    badgeRow->setSpacing(5);
    const QColor badgeColor = badgeForegroundColor(kind, accent);
    badgeRow->addWidget(new TovalitSymbolView(kindSymbol(kind), 10, badgeColor, badge), 0,
                        Qt::AlignVCenter);
    auto *badgeLabel =
        new TovalitTextLabel(rawValue(kind), tovalitFont(10.5, QFont::Bold), badgeColor, badge);
    badgeLabel->setWraps(false);
    badgeLabel->setObjectName(QStringLiteral("kindBadgeLabel"));
    badgeRow->addWidget(badgeLabel, 0, Qt::AlignVCenter);
    badge->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    header->addWidget(badge, 0, Qt::AlignTop);
    column->addLayout(header);

    if (m_module.items.isEmpty()) {
        auto *pending =
            new TovalitTextLabel(QStringLiteral("待补充"), tovalitFont(12, QFont::Medium),
                                 TovalitPalette::secondary(), this);
        pending->setObjectName(QStringLiteral("pendingItems"));
        column->addSpacing(12);
        column->addWidget(pending);
    } else {
        m_board = MeetingVisualBoards::contentView(m_module, accent, this);
        column->addSpacing(12 - MeetingVisualBoards::roomAbove(kind));
        column->addWidget(m_board);
    }
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QString MeetingVisualModuleView::kindSymbol(MeetingVisualModuleKind kind) {
    switch (kind) {
    case MeetingVisualModuleKind::cards:
        return QStringLiteral("square.grid.2x2");
    case MeetingVisualModuleKind::process:
        return QStringLiteral("point.3.connected.trianglepath.dotted");
    case MeetingVisualModuleKind::chips:
        return QStringLiteral("tag");
    case MeetingVisualModuleKind::beforeAfter:
        return QStringLiteral("arrow.left.arrow.right");
    case MeetingVisualModuleKind::annotation:
        return QStringLiteral("quote.bubble");
    case MeetingVisualModuleKind::decision:
        return QStringLiteral("checklist");
    case MeetingVisualModuleKind::hierarchy:
        return QStringLiteral("square.3.layers.3d.top.filled");
    case MeetingVisualModuleKind::history:
        return QStringLiteral("timeline.selection");
    }
    Q_UNREACHABLE();
}

QColor MeetingVisualModuleView::badgeForegroundColor(MeetingVisualModuleKind kind,
                                                     MeetingStageAccent accent) {
    return isNeutralKind(kind) ? withOpacity(TovalitPalette::primary(), 0.72) : tint(accent);
}

QColor MeetingVisualModuleView::badgeFillColor(MeetingVisualModuleKind kind,
                                               MeetingStageAccent accent) {
    switch (kind) {
    case MeetingVisualModuleKind::cards:
    case MeetingVisualModuleKind::chips:
        return TovalitPalette::white(0.72);
    case MeetingVisualModuleKind::process:
    case MeetingVisualModuleKind::hierarchy:
        return fill(accent);
    case MeetingVisualModuleKind::beforeAfter:
        return withOpacity(tint(accent), 0.14);
    case MeetingVisualModuleKind::annotation:
        return withOpacity(fill(accent), 0.9);
    case MeetingVisualModuleKind::decision:
        return withOpacity(TovalitPalette::orange(), 0.14);
    case MeetingVisualModuleKind::history:
        return withOpacity(fill(accent), 0.82);
    }
    Q_UNREACHABLE();
}

QColor MeetingVisualModuleView::badgeStrokeColor(MeetingVisualModuleKind kind,
                                                 MeetingStageAccent accent) {
    if (isNeutralKind(kind))
        return TovalitPalette::white(0.18);
    if (kind == MeetingVisualModuleKind::decision)
        return withOpacity(TovalitPalette::orange(), 0.32);
    return withOpacity(line(accent), 0.9);
}

QColor MeetingVisualModuleView::containerFillColor(MeetingVisualModuleKind kind,
                                                   MeetingStageAccent accent) {
    switch (kind) {
    case MeetingVisualModuleKind::cards:
        return TovalitPalette::white(0.2);
    case MeetingVisualModuleKind::chips:
        return TovalitPalette::white(0.14);
    case MeetingVisualModuleKind::process:
        return withOpacity(fill(accent), 0.28);
    case MeetingVisualModuleKind::beforeAfter:
        return withOpacity(fill(accent), 0.2);
    case MeetingVisualModuleKind::annotation:
        return withOpacity(fill(accent), 0.38);
    case MeetingVisualModuleKind::decision:
        return withOpacity(TovalitPalette::orange(), 0.08);
    case MeetingVisualModuleKind::hierarchy:
        return withOpacity(fill(accent), 0.22);
    case MeetingVisualModuleKind::history:
        return withOpacity(fill(accent), 0.26);
    }
    Q_UNREACHABLE();
}

QColor MeetingVisualModuleView::containerStrokeColor(MeetingVisualModuleKind kind,
                                                     MeetingStageAccent accent) {
    if (isNeutralKind(kind))
        return TovalitPalette::white(0.12);
    if (kind == MeetingVisualModuleKind::decision)
        return withOpacity(TovalitPalette::orange(), 0.3);
    return line(accent);
}

bool MeetingVisualModuleView::usesVerticalProcessLayout(const MeetingVisualModule &module) {
    if (module.items.size() > 4)
        return true;
    for (const MeetingVisualItem &item : module.items) {
        if (textkit::graphemeCount(item.body) >= 16)
            return true;
    }
    return module.title.contains(QStringLiteral("风险")) ||
           module.title.contains(QStringLiteral("规避"));
}

qreal MeetingVisualModuleView::cardColumnMinimumWidth(const MeetingVisualModule &module) {
    return module.items.size() >= 4 ? 140 : 176;
}

QString MeetingVisualModuleView::decisionTag(const MeetingVisualItem &item) {
    const QString text = (item.title + QLatin1Char(' ') + item.body).toLower();
    const auto containsAny = [&text](std::initializer_list<const char16_t *> keywords) {
        for (const char16_t *keyword : keywords) {
            if (text.contains(QString::fromUtf16(keyword)))
                return true;
        }
        return false;
    };
    if (containsAny({u"排除", u"规避"}))
        return QStringLiteral("排除");
    if (containsAny({u"待决", u"待确认"}))
        return QStringLiteral("待确认");
    if (containsAny({u"保留", u"采用", u"优先"}))
        return QStringLiteral("保留");
    return QStringLiteral("判断");
}

void MeetingVisualModuleView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    painter.setPen(Qt::NoPen);
    painter.setBrush(containerFillColor(m_module.kind, m_accent));
    painter.drawRoundedRect(box, 16, 16);
    painter.setPen(QPen(containerStrokeColor(m_module.kind, m_accent), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 16, 16);
}

} // namespace tovalit
