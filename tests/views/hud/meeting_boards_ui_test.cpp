#include "tests/support/meeting_samples.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/adaptive_grid_layout.h"
#include "views/hud/meeting_visual_module_view.h"
#include "views/hud/rounded_box.h"

#include <QLayout>

#include <algorithm>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Kind = MeetingVisualModuleKind;
using testing::sampleItem;
using testing::sampleModule;

QList<MeetingVisualItem> items(int count, const QString &body = QStringLiteral("说明")) {
    QList<MeetingVisualItem> list;
    for (int index = 1; index <= count; ++index)
        list.append(sampleItem(QStringLiteral("条目%1").arg(index), body));
    return list;
}

// The board's elements in position order.
QList<QWidget *> elements(const MeetingVisualModuleView &view) {
    QList<QWidget *> found = view.board()->findChildren<QWidget *>(QStringLiteral("boardItem"));
    std::sort(found.begin(), found.end(), [](QWidget *a, QWidget *b) {
        return a->property("position").toInt() < b->property("position").toInt();
    });
    return found;
}

qsizetype connectors(const MeetingVisualModuleView &view) {
    return view.board()->findChildren<QWidget *>(QStringLiteral("connector")).size();
}

QStringList texts(const QWidget *widget) {
    QStringList list;
    for (const TovalitTextLabel *label : widget->findChildren<TovalitTextLabel *>())
        list.append(label->text());
    return list;
}

TEST(MeetingVisualModuleViewTest, EveryKindHasABadgeWithItsLabelAndADrawnSymbol) {
    for (Kind kind : allMeetingVisualModuleKinds) {
        const MeetingVisualModuleView view(sampleModule(kind, QStringLiteral("标题"), items(2)),
                                           MeetingStageAccent::pink);
        const auto *label = view.findChild<TovalitTextLabel *>(QStringLiteral("kindBadgeLabel"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), rawValue(kind));
        const QString symbol = MeetingVisualModuleView::kindSymbol(kind);
        EXPECT_TRUE(TovalitSymbol::exists(symbol)) << symbol.toStdString();
        const QImage drawn = TovalitSymbol::pixmap(symbol, 20, Qt::black, 1).toImage();
        bool inked = false;
        for (int y = 0; y < drawn.height() && !inked; ++y)
            for (int x = 0; x < drawn.width() && !inked; ++x)
                inked = qAlpha(drawn.pixel(x, y)) > 0;
        EXPECT_TRUE(inked) << symbol.toStdString();
    }
    const MeetingStageAccent accent = MeetingStageAccent::pink;
    // Cards and chips: a white badge with primary text.
    EXPECT_EQ(MeetingVisualModuleView::badgeForegroundColor(Kind::chips, accent),
              withOpacity(TovalitPalette::primary(), 0.72));
    EXPECT_EQ(MeetingVisualModuleView::badgeFillColor(Kind::cards, accent),
              TovalitPalette::white(0.72));
    // The decision log: orange badge and card, the label in the accent.
    EXPECT_EQ(MeetingVisualModuleView::badgeForegroundColor(Kind::decision, accent),
              MeetingStageAccents::tint(accent));
    EXPECT_EQ(MeetingVisualModuleView::badgeFillColor(Kind::decision, accent),
              withOpacity(TovalitPalette::orange(), 0.14));
    EXPECT_EQ(MeetingVisualModuleView::containerStrokeColor(Kind::decision, accent),
              withOpacity(TovalitPalette::orange(), 0.3));
    EXPECT_EQ(MeetingVisualModuleView::containerFillColor(Kind::process, accent),
              withOpacity(MeetingStageAccents::fill(accent), 0.28));
}

TEST(MeetingVisualModuleViewTest, AModuleWithoutItemsWaitsForThem) {
    const MeetingVisualModuleView view(sampleModule(Kind::process, QStringLiteral("流程"), {}),
                                       MeetingStageAccent::purple);
    EXPECT_EQ(view.board(), nullptr);
    const auto *pending = view.findChild<TovalitTextLabel *>(QStringLiteral("pendingItems"));
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->text(), QStringLiteral("待补充"));
    EXPECT_TRUE(texts(&view).contains(QStringLiteral("流程")));
}

TEST(MeetingVisualModuleViewTest, CardsAndChipsFillAnAdaptiveGridInAlternatingColours) {
    EXPECT_EQ(MeetingVisualModuleView::cardColumnMinimumWidth(
                  sampleModule(Kind::cards, QString(), items(3))),
              176);
    EXPECT_EQ(MeetingVisualModuleView::cardColumnMinimumWidth(
                  sampleModule(Kind::chips, QString(), items(4))),
              140);
    const AdaptiveGridLayout grid(140, 10, 10);
    EXPECT_EQ(grid.columnCountForWidth(100), 1) << "a narrow panel falls back to one column";
    EXPECT_EQ(grid.columnCountForWidth(290), 2);
    EXPECT_EQ(grid.columnCountForWidth(289), 1);
    EXPECT_EQ(grid.columnCountForWidth(450), 3);

    const MeetingStageAccent accent = MeetingStageAccent::green;
    MeetingVisualModuleView cards(sampleModule(Kind::cards, QStringLiteral("指标"), items(4)),
                                  accent);
    cards.resize(420, cards.heightForWidth(420));
    cards.show();
    const QList<QWidget *> cells = elements(cards);
    ASSERT_EQ(cells.size(), 4);
    for (qsizetype position = 0; position < 4; ++position) {
        auto *card = qobject_cast<RoundedBox *>(cells[position]);
        ASSERT_NE(card, nullptr);
        const bool even = position % 2 == 0;
        EXPECT_EQ(card->fillColor(), even ? TovalitPalette::white(0.58)
                                          : withOpacity(MeetingStageAccents::fill(accent), 0.76));
        EXPECT_TRUE(texts(card).contains(QStringLiteral("说明"))) << "cards show their body";
    }
    // 388 wide inside the padding: two columns of 140 or more.
    EXPECT_EQ(cells[0]->y(), cells[1]->y());
    EXPECT_GT(cells[2]->y(), cells[0]->y());

    MeetingVisualModuleView chips(sampleModule(Kind::chips, QStringLiteral("模块"), items(3)),
                                  accent);
    const QList<QWidget *> chipCells = elements(chips);
    ASSERT_EQ(chipCells.size(), 3);
    EXPECT_EQ(texts(chipCells[0]), QStringList{QStringLiteral("条目1")}) << "a chip has no body";
    EXPECT_EQ(qobject_cast<RoundedBox *>(chipCells[1])->fillColor(),
              withOpacity(MeetingStageAccents::fill(accent), 0.8));
}

TEST(MeetingVisualModuleViewTest, ProcessStepsGoDownForManyLongOrRiskySteps) {
    const auto vertical = [](const QString &title, const QList<MeetingVisualItem> &steps) {
        return MeetingVisualModuleView::usesVerticalProcessLayout(
            sampleModule(Kind::process, title, steps));
    };
    EXPECT_FALSE(vertical(QStringLiteral("推进步骤"), items(4, QStringLiteral("短"))));
    EXPECT_TRUE(vertical(QStringLiteral("推进步骤"), items(5, QStringLiteral("短"))));
    EXPECT_TRUE(vertical(QStringLiteral("风险清单"), items(2)));
    EXPECT_TRUE(vertical(QStringLiteral("如何规避"), items(2)));
    // Sixteen characters as the user sees them.
    EXPECT_TRUE(vertical(
        QStringLiteral("步骤"),
        {sampleItem(QStringLiteral("甲"), QStringLiteral("一二三四五六七八九十一二三四五六"))}));
    EXPECT_FALSE(vertical(
        QStringLiteral("步骤"),
        {sampleItem(QStringLiteral("甲"), QStringLiteral("一二三四五六七八九十一二三四五"))}));
    // Fifteen flags of two code points each (and 30 UTF-16 units) are
    // fifteen characters.
    QString flags;
    for (int index = 0; index < 15; ++index)
        flags += QStringLiteral("🇨🇳");
    EXPECT_FALSE(vertical(QStringLiteral("步骤"), {sampleItem(QStringLiteral("甲"), flags)}));

    MeetingVisualModuleView down(sampleModule(Kind::process, QStringLiteral("风险应对"), items(3)),
                                 MeetingStageAccent::teal);
    EXPECT_EQ(down.board()->objectName(), QStringLiteral("verticalProcessBoard"));
    QStringList numbers;
    QList<bool> hasConnector;
    for (QWidget *step : elements(down)) {
        QWidget *rail = step->findChild<QWidget *>(QStringLiteral("stepRail"));
        numbers.append(rail->property("stepNumber").toString());
        hasConnector.append(rail->property("hasConnector").toBool());
    }
    EXPECT_EQ(numbers, (QStringList{"1", "2", "3"}));
    EXPECT_EQ(hasConnector, (QList<bool>{true, true, false}));

    MeetingVisualModuleView across(sampleModule(Kind::process, QStringLiteral("推进"), items(3)),
                                   MeetingStageAccent::teal);
    EXPECT_EQ(across.board()->objectName(), QStringLiteral("horizontalProcessBoard"));
    EXPECT_EQ(elements(across).size(), 3);
    EXPECT_EQ(connectors(across), 2);

    MeetingVisualModuleView single(sampleModule(Kind::process, QStringLiteral("推进"), items(1)),
                                   MeetingStageAccent::teal);
    EXPECT_EQ(connectors(single), 0);
}

TEST(MeetingVisualModuleViewTest, BeforeAfterShowsTheFirstTwoOnly) {
    MeetingVisualModuleView three(sampleModule(Kind::beforeAfter, QStringLiteral("对比"), items(3)),
                                  MeetingStageAccent::orange);
    const QList<QWidget *> cards = elements(three);
    ASSERT_EQ(cards.size(), 2);
    EXPECT_TRUE(texts(cards[0]).contains(QStringLiteral("Before")));
    EXPECT_TRUE(texts(cards[1]).contains(QStringLiteral("After")));
    EXPECT_FALSE(texts(three.board()).contains(QStringLiteral("条目3")));

    MeetingVisualModuleView one(sampleModule(Kind::beforeAfter, QStringLiteral("对比"), items(1)),
                                MeetingStageAccent::orange);
    ASSERT_EQ(elements(one).size(), 1);
    EXPECT_FALSE(texts(one.board()).contains(QStringLiteral("After")));
}

TEST(MeetingVisualModuleViewTest, DecisionTagsComeFromKeywordsInTitleAndBody) {
    const auto tag = [](const QString &title, const QString &body) {
        return MeetingVisualModuleView::decisionTag(sampleItem(title, body));
    };
    EXPECT_EQ(tag(QStringLiteral("规避旧方案"), QStringLiteral("待确认成本")),
              QStringLiteral("排除"));
    EXPECT_EQ(tag(QStringLiteral("离线模型"), QStringLiteral("仍待决")), QStringLiteral("待确认"));
    EXPECT_EQ(tag(QStringLiteral("采用增量摘要"), QString()), QStringLiteral("保留"));
    EXPECT_EQ(tag(QStringLiteral("优先做术语"), QStringLiteral("待确认")),
              QStringLiteral("待确认"));
    EXPECT_EQ(tag(QStringLiteral("分段策略"), QStringLiteral("讨论中")), QStringLiteral("判断"));

    MeetingVisualModuleView log(sampleModule(Kind::decision, QStringLiteral("决策"),
                                             {sampleItem(QStringLiteral("保留时间兜底")),
                                              sampleItem(QStringLiteral("甲"))}),
                                MeetingStageAccent::purple);
    QStringList tags;
    for (QWidget *card : elements(log))
        tags.append(card->findChild<RoundedBox *>(QStringLiteral("decisionTag"))
                        ->findChild<TovalitTextLabel *>()
                        ->text());
    EXPECT_EQ(tags, (QStringList{QStringLiteral("保留"), QStringLiteral("判断")}));
}

// The rows of `widget` that it draws on, in `reference`'s coordinates.
std::pair<int, int> drawnRows(QWidget *widget, QWidget *reference) {
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                if (first < 0)
                    first = y;
                last = y;
                break;
            }
        }
    }
    const int top = widget->mapTo(reference, QPoint(0, 0)).y();
    return {top + first, top + last + 1};
}

TEST(MeetingVisualModuleViewTest, HistoryPointsSitAtTheirOffsetsUnderTheHeader) {
    MeetingVisualModuleView view(sampleModule(Kind::history, QStringLiteral("里程碑"), items(3)),
                                 MeetingStageAccent::teal);
    view.resize(480, view.heightForWidth(480));
    view.show();
    view.layout()->activate();
    QList<QWidget *> header{view.findChild<QWidget *>(QStringLiteral("kindBadge"))};
    for (TovalitTextLabel *label : view.findChildren<TovalitTextLabel *>()) {
        if (label->text() == QStringLiteral("里程碑"))
            header.append(label);
    }
    ASSERT_EQ(header.size(), 2);
    int headerBottom = 0;
    for (QWidget *part : header) {
        ASSERT_NE(part, nullptr);
        headerBottom = std::max(headerBottom, part->mapTo(&view, QPoint(0, part->height())).y());
    }
    // The board starts 12 below the header; each point is a 10-point dot
    // whose 4-wide ring reaches 2 beyond it, the title 8 below the dot,
    // and between points a dashed line framed 2 high 4 from the top, so
    // through the dots' centres.
    const int board = headerBottom + 12;
    const QList<QWidget *> points = elements(view);
    ASSERT_EQ(points.size(), 3);
    for (QWidget *point : points) {
        auto *dot = point->findChild<QWidget *>(QStringLiteral("historyDot"));
        ASSERT_NE(dot, nullptr);
        EXPECT_EQ(drawnRows(dot, &view), std::make_pair(board - 2, board + 12));
        const TovalitTextLabel *title = nullptr;
        for (TovalitTextLabel *label : point->findChildren<TovalitTextLabel *>()) {
            if (label->text().startsWith(QStringLiteral("条目")))
                title = label;
        }
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->mapTo(&view, QPoint(0, 0)).y(), board + 18);
        EXPECT_NEAR(title->mapTo(&view, title->rect().center()).x(),
                    dot->mapTo(&view, dot->rect().center()).x(), 1);
    }
    const QList<QWidget *> lines =
        view.board()->findChildren<QWidget *>(QStringLiteral("connector"));
    ASSERT_EQ(lines.size(), 2);
    for (QWidget *line : lines) {
        // A 2-high capsule stroked 2 wide: a band from 1 above to 1 below
        // its frame, whose middle is the frame's.
        const auto [top, bottom] = drawnRows(line, &view);
        EXPECT_EQ(top, board + 3);
        EXPECT_EQ(bottom, board + 7);
    }
}

TEST(MeetingVisualModuleViewTest, HierarchyIndentsEachLevelAndHistoryConnectsItsPoints) {
    MeetingVisualModuleView tree(sampleModule(Kind::hierarchy, QStringLiteral("结构"), items(5)),
                                 MeetingStageAccent::green);
    const QList<QWidget *> nodes = elements(tree);
    ASSERT_EQ(nodes.size(), 5);
    EXPECT_EQ(nodes[3]->property("indent").toInt(), 48);
    QList<int> connectorIndents;
    for (QWidget *connector : tree.board()->findChildren<QWidget *>(QStringLiteral("connector")))
        connectorIndents.append(connector->property("indent").toInt());
    std::sort(connectorIndents.begin(), connectorIndents.end());
    EXPECT_EQ(connectorIndents, (QList<int>{10, 26, 42, 58})) << "none after the last node";
    // Deeper nodes are narrower and all share the right edge.
    tree.resize(420, tree.heightForWidth(420));
    tree.show();
    EXPECT_EQ(nodes[3]->width(), nodes[0]->width() - 48);
    EXPECT_EQ(nodes[3]->mapTo(&tree, QPoint(nodes[3]->width(), 0)).x(),
              nodes[0]->mapTo(&tree, QPoint(nodes[0]->width(), 0)).x());

    MeetingVisualModuleView history(sampleModule(Kind::history, QStringLiteral("里程碑"), items(4)),
                                    MeetingStageAccent::green);
    EXPECT_EQ(elements(history).size(), 4);
    EXPECT_EQ(connectors(history), 3);

    MeetingVisualModuleView annotation(
        sampleModule(Kind::annotation, QStringLiteral("证据"), items(2, QString())),
        MeetingStageAccent::green);
    EXPECT_EQ(elements(annotation).size(), 2);
    EXPECT_TRUE(
        annotation.board()->findChildren<TovalitTextLabel *>(QStringLiteral("itemBody")).isEmpty())
        << "an empty body makes no line";
}

} // namespace
} // namespace tovalit
