#include "views/hud/meeting_visual_boards.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/adaptive_grid_layout.h"
#include "views/hud/meeting_text_styles.h"
#include "views/hud/meeting_visual_module_view.h"
#include "views/hud/painted_view.h"
#include "views/hud/rounded_box.h"

#include <QBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace tovalit::MeetingVisualBoards {

namespace {

using namespace MeetingStageAccents;
namespace Styles = MeetingTextStyles;

constexpr int historyRingOverhang = 2;

QWidget *makeBoard(const char *name, QWidget *parent) {
    auto *board = new QWidget(parent);
    board->setObjectName(QString::fromLatin1(name));
    board->setAttribute(Qt::WA_TranslucentBackground);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    board->setSizePolicy(policy);
    return board;
}

QBoxLayout *boxLayout(QBoxLayout::Direction direction, QWidget *board, int spacing) {
    auto *layout = new QBoxLayout(direction, board);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

void markItem(QWidget *element, qsizetype position) {
    element->setObjectName(QStringLiteral("boardItem"));
    element->setProperty("position", int(position));
}

// A rounded card for one item, with a vertical stack of its texts.
RoundedBox *itemCard(qreal radius, const QColor &fill, const QColor &stroke, int spacing,
                     QMargins padding, QWidget *parent) {
    auto *card = new RoundedBox(radius, fill, stroke, parent);
    auto *column = boxLayout(QBoxLayout::TopToBottom, card, spacing);
    column->setContentsMargins(padding);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    card->setSizePolicy(policy);
    return card;
}

void addTexts(QBoxLayout *column, QWidget *owner, QWidget *title, const QString &body,
              bool centred = false) {
    column->addWidget(title);
    if (auto *bodyLabel = Styles::itemBody(body, owner, centred))
        column->addWidget(bodyLabel);
}

// A dashed capsule line between two elements of a row.
PaintedView *dashedConnector(const QColor &color, qreal dash, qreal gap, qreal topPadding,
                             QWidget *parent) {
    // The stroke runs along both long sides of the 2-high capsule and
    // reaches 1 beyond them.
    auto *connector = new PaintedView(
        -1, topPadding + 3,
        [color, dash, gap, topPadding](QPainter &painter, const QRectF &bounds) {
            const QRectF line(bounds.left() + 6, topPadding, bounds.width() - 12, 2);
            if (line.width() <= 0)
                return;
            QPen pen(color, 2);
            pen.setDashPattern({dash / 2, gap / 2});
            pen.setCapStyle(Qt::FlatCap);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            QPainterPath capsule;
            capsule.addRoundedRect(line, 1, 1);
            painter.drawPath(capsule);
        },
        parent);
    connector->setObjectName(QStringLiteral("connector"));
    return connector;
}

QWidget *gridBoard(
    const char *name, const MeetingVisualModule &module, QWidget *parent,
    const std::function<QWidget *(const MeetingVisualItem &, qsizetype, QWidget *)> &makeCell) {
    QWidget *board = makeBoard(name, parent);
    auto *grid = new AdaptiveGridLayout(MeetingVisualModuleView::cardColumnMinimumWidth(module), 10,
                                        10, board);
    for (qsizetype position = 0; position < module.items.size(); ++position) {
        QWidget *cell = makeCell(module.items[position], position, board);
        markItem(cell, position);
        grid->addWidget(cell);
    }
    return board;
}

QWidget *verticalProcessBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                              QWidget *parent) {
    QWidget *board = makeBoard("verticalProcessBoard", parent);
    auto *column = boxLayout(QBoxLayout::TopToBottom, board, 0);
    column->setContentsMargins(0, 4, 0, 0);
    const qsizetype count = module.items.size();
    for (qsizetype position = 0; position < count; ++position) {
        const MeetingVisualItem &item = module.items[position];
        const bool last = position == count - 1;
        auto *step = new QWidget(board);
        markItem(step, position);
        auto *row = boxLayout(QBoxLayout::LeftToRight, step, 12);

        const QString number = QString::number(position + 1);
        const QColor markerColor = tint(accent);
        const QColor railColor = withOpacity(line(accent), 0.95);
        auto *rail = new PaintedView(
            20, last ? 20 : 44,
            [number, markerColor, railColor, last](QPainter &painter, const QRectF &) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(markerColor);
                painter.drawEllipse(QRectF(0, 0, 20, 20));
                painter.setPen(Qt::white);
                painter.setFont(tovalitFont(10.5, QFont::Bold));
                painter.drawText(QRectF(0, 0, 20, 20), Qt::AlignCenter, number);
                if (!last)
                    painter.fillRect(QRectF(9, 26, 2, 18), railColor);
            },
            step);
        rail->setObjectName(QStringLiteral("stepRail"));
        rail->setProperty("stepNumber", number);
        rail->setProperty("hasConnector", !last);
        row->addWidget(rail, 0, Qt::AlignTop);

        auto *texts = new QWidget(step);
        auto *textColumn = boxLayout(QBoxLayout::TopToBottom, texts, 5);
        textColumn->setContentsMargins(0, 0, 0, last ? 0 : 10);
        addTexts(textColumn, texts, Styles::itemTitleC(item.title, texts), item.body);
        row->addWidget(texts, 1);
        column->addWidget(step);
    }
    return board;
}

QWidget *horizontalProcessBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                                QWidget *parent) {
    QWidget *board = makeBoard("horizontalProcessBoard", parent);
    auto *row = boxLayout(QBoxLayout::LeftToRight, board, 0);
    row->setContentsMargins(0, 6, 0, 0);
    const qsizetype count = module.items.size();
    for (qsizetype position = 0; position < count; ++position) {
        const MeetingVisualItem &item = module.items[position];
        auto *step = new QWidget(board);
        markItem(step, position);
        auto *column = boxLayout(QBoxLayout::TopToBottom, step, 8);
        const QColor outer = fill(accent);
        const QColor inner = tint(accent);
        column->addWidget(new PaintedView(
                              18, 18,
                              [outer, inner](QPainter &painter, const QRectF &) {
                                  painter.setPen(Qt::NoPen);
                                  painter.setBrush(outer);
                                  painter.drawEllipse(QRectF(0, 0, 18, 18));
                                  painter.setBrush(inner);
                                  painter.drawEllipse(QRectF(4.5, 4.5, 9, 9));
                              },
                              step),
                          0, Qt::AlignHCenter);
        auto *texts = boxLayout(QBoxLayout::TopToBottom, nullptr, 4);
        addTexts(texts, step, Styles::itemTitleD(item.title, step), item.body, true);
        column->addLayout(texts);
        column->addStretch(1);
        row->addWidget(step, 1, Qt::AlignTop);
        if (position < count - 1)
            row->addWidget(dashedConnector(withOpacity(line(accent), 0.95), 6, 6, 8, board), 1,
                           Qt::AlignTop);
    }
    return board;
}

} // namespace

QWidget *cardBoard(const MeetingVisualModule &module, MeetingStageAccent accent, QWidget *parent) {
    return gridBoard(
        "cardBoard", module, parent,
        [accent](const MeetingVisualItem &item, qsizetype position, QWidget *board) -> QWidget * {
            const bool even = position % 2 == 0;
            RoundedBox *card =
                itemCard(12, even ? TovalitPalette::white(0.58) : withOpacity(fill(accent), 0.76),
                         even ? TovalitPalette::white(0.18) : withOpacity(line(accent), 0.78), 6,
                         QMargins(12, 12, 12, 12), board);
            addTexts(static_cast<QBoxLayout *>(card->layout()), card,
                     Styles::itemTitleA(item.title, card), item.body);
            return card;
        });
}

QWidget *chipBoard(const MeetingVisualModule &module, MeetingStageAccent accent, QWidget *parent) {
    return gridBoard(
        "chipBoard", module, parent,
        [accent](const MeetingVisualItem &item, qsizetype position, QWidget *board) -> QWidget * {
            const bool even = position % 2 == 0;
            RoundedBox *chip =
                itemCard(12, even ? TovalitPalette::white(0.64) : withOpacity(fill(accent), 0.8),
                         even ? TovalitPalette::white(0.22) : withOpacity(line(accent), 0.8), 0,
                         QMargins(12, 10, 12, 10), board);
            // A chip is its title alone.
            chip->layout()->addWidget(Styles::itemTitleB(item.title, chip));
            return chip;
        });
}

QWidget *processBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                      QWidget *parent) {
    return MeetingVisualModuleView::usesVerticalProcessLayout(module)
               ? verticalProcessBoard(module, accent, parent)
               : horizontalProcessBoard(module, accent, parent);
}

QWidget *beforeAfterBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                          QWidget *parent) {
    QWidget *board = makeBoard("beforeAfterBoard", parent);
    auto *row = boxLayout(QBoxLayout::LeftToRight, board, 10);
    // Only a before and an after: later items are not shown.
    const qsizetype shown = std::min<qsizetype>(module.items.size(), 2);
    for (qsizetype position = 0; position < shown; ++position) {
        const MeetingVisualItem &item = module.items[position];
        const bool before = position == 0;
        RoundedBox *card = itemCard(12, TovalitPalette::white(before ? 0.55 : 0.7),
                                    before ? TovalitPalette::white(0.18) : line(accent), 8,
                                    QMargins(12, 12, 12, 12), board);
        markItem(card, position);
        auto *column = static_cast<QBoxLayout *>(card->layout());
        RoundedBox *label = Styles::pill(
            before ? QStringLiteral("Before") : QStringLiteral("After"),
            tovalitFont(10.5, QFont::Bold), before ? TovalitPalette::secondary() : tint(accent),
            before ? TovalitPalette::white(0.7) : fill(accent), 8, 4, -1, card);
        label->setObjectName(QStringLiteral("beforeAfterLabel"));
        column->addWidget(label, 0, Qt::AlignLeft);
        addTexts(column, card, Styles::itemTitleC(item.title, card), item.body);
        column->addStretch(1);
        row->addWidget(card, 1, Qt::AlignTop);
    }
    return board;
}

QWidget *annotationBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                         QWidget *parent) {
    QWidget *board = makeBoard("annotationBoard", parent);
    auto *column = boxLayout(QBoxLayout::TopToBottom, board, 10);
    for (qsizetype position = 0; position < module.items.size(); ++position) {
        const MeetingVisualItem &item = module.items[position];
        RoundedBox *card = itemCard(12, withOpacity(fill(accent), 0.8), Qt::transparent, 6,
                                    QMargins(14, 12, 14, 12), board);
        card->setLeadingBar(tint(accent), 3);
        markItem(card, position);
        addTexts(static_cast<QBoxLayout *>(card->layout()), card,
                 Styles::itemTitleA(item.title, card), item.body);
        column->addWidget(card);
    }
    return board;
}

QWidget *decisionBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                       QWidget *parent) {
    QWidget *board = makeBoard("decisionBoard", parent);
    auto *column = boxLayout(QBoxLayout::TopToBottom, board, 10);
    for (qsizetype position = 0; position < module.items.size(); ++position) {
        const MeetingVisualItem &item = module.items[position];
        RoundedBox *card = itemCard(12, TovalitPalette::white(0.58), withOpacity(line(accent), 0.8),
                                    6, QMargins(12, 12, 12, 12), board);
        markItem(card, position);
        auto *cardColumn = static_cast<QBoxLayout *>(card->layout());
        RoundedBox *tag =
            Styles::pill(MeetingVisualModuleView::decisionTag(item), tovalitFont(10.5, QFont::Bold),
                         withOpacity(TovalitPalette::orange(), 0.92),
                         withOpacity(TovalitPalette::orange(), 0.12), 8, 4, -1, card);
        tag->setObjectName(QStringLiteral("decisionTag"));
        cardColumn->addWidget(tag, 0, Qt::AlignLeft);
        addTexts(cardColumn, card, Styles::itemTitleC(item.title, card), item.body);
        column->addWidget(card);
    }
    return board;
}

QWidget *hierarchyBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                        QWidget *parent) {
    QWidget *board = makeBoard("hierarchyBoard", parent);
    auto *column = boxLayout(QBoxLayout::TopToBottom, board, 0);
    const qsizetype count = module.items.size();
    for (qsizetype position = 0; position < count; ++position) {
        const MeetingVisualItem &item = module.items[position];
        const int indent = int(position * 16);
        auto *slot = new QWidget(board);
        auto *slotRow = boxLayout(QBoxLayout::LeftToRight, slot, 0);
        slotRow->setContentsMargins(indent, 0, 0, 0);
        RoundedBox *node = itemCard(12, TovalitPalette::white(0.58), Qt::transparent, 6,
                                    QMargins(12, 12, 12, 12), slot);
        markItem(node, position);
        node->setProperty("indent", indent);
        addTexts(static_cast<QBoxLayout *>(node->layout()), node,
                 Styles::itemTitleC(item.title, node), item.body);
        slotRow->addWidget(node);
        column->addWidget(slot);
        if (position < count - 1) {
            const QColor color = withOpacity(line(accent), 0.9);
            auto *connector = new PaintedView(
                -1, 24,
                [color, indent](QPainter &painter, const QRectF &) {
                    painter.fillRect(QRectF(indent + 10, 6, 2, 12), color);
                },
                board);
            connector->setObjectName(QStringLiteral("connector"));
            connector->setProperty("indent", indent + 10);
            column->addWidget(connector);
        }
    }
    return board;
}

QWidget *historyBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                      QWidget *parent) {
    QWidget *board = makeBoard("historyBoard", parent);
    auto *row = boxLayout(QBoxLayout::LeftToRight, board, 0);
    const qsizetype count = module.items.size();
    for (qsizetype position = 0; position < count; ++position) {
        const MeetingVisualItem &item = module.items[position];
        auto *point = new QWidget(board);
        markItem(point, position);
        // The ring is stroked on the dot's edge, so it reaches 2 pixels
        // beyond the 10-pixel dot: the dot's view is that much larger all
        // round, and the texts start 8 below the dot itself.
        auto *column = boxLayout(QBoxLayout::TopToBottom, point, 8 - historyRingOverhang);
        const QColor dot = tint(accent);
        const QColor ring = fill(accent);
        constexpr int ringSide = 10 + 2 * historyRingOverhang;
        auto *dotView = new PaintedView(
            ringSide, ringSide,
            [dot, ring](QPainter &painter, const QRectF &) {
                const QRectF disc(historyRingOverhang, historyRingOverhang, 10, 10);
                painter.setPen(Qt::NoPen);
                painter.setBrush(dot);
                painter.drawEllipse(disc);
                painter.setPen(QPen(ring, 4));
                painter.setBrush(Qt::NoBrush);
                painter.drawEllipse(disc);
            },
            point);
        dotView->setObjectName(QStringLiteral("historyDot"));
        column->addWidget(dotView, 0, Qt::AlignHCenter);
        auto *texts = boxLayout(QBoxLayout::TopToBottom, nullptr, 4);
        addTexts(texts, point, Styles::itemTitleD(item.title, point), item.body, true);
        column->addLayout(texts);
        column->addStretch(1);
        row->addWidget(point, 1, Qt::AlignTop);
        // Framed 4 below the dot's top, through the dots' centres.
        if (position < count - 1)
            row->addWidget(
                dashedConnector(TovalitPalette::white(0.35), 5, 6, 4 + historyRingOverhang, board),
                1, Qt::AlignTop);
    }
    return board;
}

int roomAbove(MeetingVisualModuleKind kind) {
    return kind == MeetingVisualModuleKind::history ? historyRingOverhang : 0;
}

QWidget *contentView(const MeetingVisualModule &module, MeetingStageAccent accent,
                     QWidget *parent) {
    switch (module.kind) {
    case MeetingVisualModuleKind::cards:
        return cardBoard(module, accent, parent);
    case MeetingVisualModuleKind::chips:
        return chipBoard(module, accent, parent);
    case MeetingVisualModuleKind::process:
        return processBoard(module, accent, parent);
    case MeetingVisualModuleKind::beforeAfter:
        return beforeAfterBoard(module, accent, parent);
    case MeetingVisualModuleKind::annotation:
        return annotationBoard(module, accent, parent);
    case MeetingVisualModuleKind::decision:
        return decisionBoard(module, accent, parent);
    case MeetingVisualModuleKind::hierarchy:
        return hierarchyBoard(module, accent, parent);
    case MeetingVisualModuleKind::history:
        return historyBoard(module, accent, parent);
    }
    Q_UNREACHABLE();
}

} // namespace tovalit::MeetingVisualBoards
