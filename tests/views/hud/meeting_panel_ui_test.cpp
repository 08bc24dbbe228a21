#include "tests/support/meeting_samples.h"
#include "tests/support/run_task.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/expanded_meeting_hud_view.h"
#include "views/hud/hud_round_button.h"
#include "views/hud/meeting_hud_tab_button.h"
#include "views/hud/meeting_raw_transcript_scroll_view.h"
#include "views/hud/meeting_resize_handle_overlay.h"
#include "views/hud/meeting_stage_accent.h"
#include "views/hud/meeting_text_module_view.h"
#include "views/hud/meeting_timeline_scroll_view.h"
#include "views/hud/meeting_timeline_stage_view.h"
#include "views/hud/meeting_visual_module_view.h"
#include "views/hud/recording_hud_view.h"
#include "views/hud/rounded_box.h"

#include <QAccessible>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVariantAnimation>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::sampleBlock;
using testing::waitUntil;

MeetingHUDContent sampleContent(const QString &elapsed = QStringLiteral("03:07")) {
    return {elapsed, testing::twoStageMeeting(), testing::sampleSegments()};
}

TEST(MeetingStageAccentTest, FiveColoursRepeatByStagePosition) {
    using namespace MeetingStageAccents;
    EXPECT_EQ(resolved(0), MeetingStageAccent::purple);
    EXPECT_EQ(resolved(4), MeetingStageAccent::teal);
    EXPECT_EQ(resolved(5), MeetingStageAccent::purple);
    EXPECT_EQ(resolved(6), MeetingStageAccent::orange);
    EXPECT_EQ(fromRawValue(2), MeetingStageAccent::green);
    EXPECT_EQ(fromRawValue(5), std::nullopt);
    EXPECT_EQ(fromRawValue(-1), std::nullopt);
    EXPECT_EQ(tint(MeetingStageAccent::orange), QColor(207, 138, 69));
    EXPECT_NEAR(fill(MeetingStageAccent::teal).alphaF(), 0.12, 0.001);
    EXPECT_NEAR(line(MeetingStageAccent::teal).alphaF(), 0.28, 0.001);
    EXPECT_EQ(line(MeetingStageAccent::teal).rgb(), tint(MeetingStageAccent::teal).rgb());
}

TEST(ExpandedMeetingHUDViewTest, OpensOnTheTimelineAndKeepsTheChosenTabAcrossUpdates) {
    ExpandedMeetingHUDView view({0.4}, sampleContent());
    view.resize(524, 420);
    view.show();
    EXPECT_EQ(view.selectedTab(), MeetingHUDTab::timeline);
    ASSERT_NE(view.timeline(), nullptr);
    EXPECT_EQ(view.rawTranscript(), nullptr);
    EXPECT_TRUE(view.tabButton(MeetingHUDTab::timeline)->isSelected());
    EXPECT_EQ(view.tabButton(MeetingHUDTab::timeline)->text(), QStringLiteral("实时总结"));
    EXPECT_EQ(view.tabButton(MeetingHUDTab::rawTranscript)->text(), QStringLiteral("ASR 原文"));
    EXPECT_EQ(view.elapsedBadge()->title(), QStringLiteral("会议时间 03:07"));
    EXPECT_EQ(view.timeline()->bottomAnchorID(), QStringLiteral("meeting-timeline-bottom-anchor"));

    QTest::mouseClick(view.tabButton(MeetingHUDTab::rawTranscript), Qt::LeftButton);
    EXPECT_EQ(view.selectedTab(), MeetingHUDTab::rawTranscript);
    EXPECT_EQ(view.timeline(), nullptr);
    ASSERT_NE(view.rawTranscript(), nullptr);
    EXPECT_EQ(view.rawTranscript()->bottomAnchorID(), QStringLiteral("meeting-raw-bottom-anchor"));
    EXPECT_EQ(view.rawTranscript()->rows().size(), 3);

    // Content updates keep the tab and reach the list on show.
    MeetingHUDContent later = sampleContent(QStringLiteral("100:05"));
    later.rawSegments.append({QUuid::createUuid(), QStringLiteral("新的一句"), true});
    view.setContent(later);
    EXPECT_EQ(view.selectedTab(), MeetingHUDTab::rawTranscript);
    EXPECT_EQ(view.rawTranscript()->rows().size(), 4);
    EXPECT_EQ(view.elapsedBadge()->title(), QStringLiteral("会议时间 100:05"));

    // A list coming back into view shows what changed while it was away.
    view.selectTab(MeetingHUDTab::timeline);
    ASSERT_NE(view.timeline(), nullptr);
    EXPECT_EQ(view.rawTranscript(), nullptr);
    EXPECT_EQ(view.timeline()->blocks(), later.blocks);
    later.rawSegments.last().isLive = false;
    later.rawSegments.append({QUuid::createUuid(), QStringLiteral("再补充一句"), true});
    view.setContent(later);
    view.selectTab(MeetingHUDTab::rawTranscript);
    ASSERT_NE(view.rawTranscript(), nullptr);
    ASSERT_EQ(view.rawTranscript()->rows().size(), 5);
    EXPECT_EQ(view.rawTranscript()
                  ->rows()
                  .last()
                  ->findChild<TovalitTextLabel *>(QStringLiteral("segmentText"))
                  ->text(),
              QStringLiteral("再补充一句"));
    view.selectTab(MeetingHUDTab::timeline);

    // The buttons work whatever the tab.
    view.selectTab(MeetingHUDTab::rawTranscript);
    QSignalSpy finished(&view, &ExpandedMeetingHUDView::finishRequested);
    QSignalSpy cancelled(&view, &ExpandedMeetingHUDView::cancelRequested);
    QTest::mouseClick(view.finishButton(), Qt::LeftButton);
    QTest::mouseClick(view.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_EQ(view.finishButton()->size(), QSize(26, 26));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(view.finishButton())->text(QAccessible::Name),
              QStringLiteral("完成"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(view.cancelButton())->text(QAccessible::Name),
              QStringLiteral("取消"));
}

TEST(ExpandedMeetingHUDViewTest, BandsSitTenApartAndTheCardEightBelowTheHeader) {
    ExpandedMeetingHUDView view({0.4}, sampleContent());
    view.resize(524, 420);
    view.show();
    const auto bottomOf = [&](const char *name) {
        const auto *widget = view.findChild<QWidget *>(QString::fromLatin1(name));
        return widget ? widget->mapTo(&view, QPoint(0, widget->height())).y() : -1;
    };
    const auto topOf = [&](const char *name) {
        const auto *widget = view.findChild<QWidget *>(QString::fromLatin1(name));
        return widget ? widget->mapTo(&view, QPoint(0, 0)).y() : -1;
    };
    // The header row is as high as its tallest part, the tab switch.
    const int headerTop =
        std::min({topOf("contentCaption"), topOf("tabSwitch"), topOf("elapsedBadge")});
    const int headerBottom =
        std::max({bottomOf("contentCaption"), bottomOf("tabSwitch"), bottomOf("elapsedBadge")});
    EXPECT_EQ(topOf("dragZone"), 10) << "padded 10 on all edges";
    EXPECT_EQ(headerTop - bottomOf("dragZone"), 10) << "drag bar to body column";
    EXPECT_EQ(topOf("contentCard") - headerBottom, 8) << "header row to content card";
    EXPECT_EQ(view.height() - bottomOf("contentCard"), 10);
}

TEST(ExpandedMeetingHUDViewTest, NothingInThePanelHidesTheGlassWithoutPaintingItself) {
    // A widget that fills its background counts as opaque, so nothing is
    // painted under it; one that also skips its background leaves a hole
    // through the panel (black on a desktop without compositing).
    ExpandedMeetingHUDView view({}, sampleContent());
    view.resize(524, 420);
    view.show();
    for (MeetingHUDTab tab : allMeetingHUDTabs) {
        view.selectTab(tab);
        for (const QWidget *widget : view.findChildren<QWidget *>()) {
            EXPECT_FALSE(widget->autoFillBackground() &&
                         widget->testAttribute(Qt::WA_NoSystemBackground))
                << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        }
    }
}

TEST(ExpandedMeetingHUDViewTest, CornerHandlesSitOnTheCornersAndReportTheirDrags) {
    ExpandedMeetingHUDView view({}, sampleContent());
    view.resize(600, 480);
    view.show();
    QSignalSpy resized(&view, &ExpandedMeetingHUDView::resizeChanged);
    QSignalSpy ended(&view, &ExpandedMeetingHUDView::resizeEnded);
    for (MeetingResizeHandleView *handle : view.resizeHandles()->handles()) {
        EXPECT_EQ(handle->geometry(),
                  MeetingResizeHandleOverlay::handleRect(handle->handle(), view.size()));
        EXPECT_EQ(handle->size(), QSize(22, 22));
    }
    EXPECT_EQ(
        MeetingResizeHandleOverlay::handleRect(HUDResizeHandle::bottomTrailing, QSize(600, 480)),
        QRect(578, 458, 22, 22));
    EXPECT_EQ(MeetingResizeHandleOverlay::resolvedCursor(HUDResizeHandle::top), Qt::SizeVerCursor);
    EXPECT_EQ(MeetingResizeHandleOverlay::resolvedCursor(HUDResizeHandle::trailing),
              Qt::SizeHorCursor);

    MeetingResizeHandleView *corner = view.resizeHandles()->handles()[3];
    QTest::mousePress(corner, Qt::LeftButton, {}, QPoint(11, 11));
    QTest::mouseMove(corner, QPoint(14, 11));
    QTest::mouseRelease(corner, Qt::LeftButton, {}, QPoint(14, 11));
    ASSERT_GE(resized.count(), 1);
    EXPECT_EQ(resized.last().at(0).value<HUDResizeHandle>(), HUDResizeHandle::bottomTrailing);
    EXPECT_EQ(ended.count(), 1);
}

TEST(RecordingHUDViewTest, SwitchingStatesReplacesTheViewAndRestartsTheTabs) {
    RecordingHUDView view({0.2}, RecordingHUDDisplayState::compact());
    EXPECT_TRUE(view.isCompact());
    EXPECT_EQ(view.size(), QSize(200, 48));
    view.setDisplayState(RecordingHUDDisplayState::expandedMeeting(sampleContent()));
    ASSERT_NE(view.meetingView(), nullptr);
    EXPECT_EQ(view.capsule(), nullptr);
    view.meetingView()->selectTab(MeetingHUDTab::rawTranscript);
    ExpandedMeetingHUDView *first = view.meetingView();
    view.setDisplayState(RecordingHUDDisplayState::expandedMeeting(sampleContent("03:08")));
    EXPECT_EQ(view.meetingView(), first);
    view.setDisplayState(RecordingHUDDisplayState::compact());
    ASSERT_NE(view.capsule(), nullptr);
    view.setDisplayState(RecordingHUDDisplayState::expandedMeeting(sampleContent()));
    EXPECT_EQ(view.meetingView()->selectedTab(), MeetingHUDTab::timeline);
}

TEST(MeetingTimelineScrollViewTest, StagesConnectorsAndColours) {
    // Before the first stage, the panel says how often the meeting's loop
    // looks at the tree.
    ExpandedMeetingHUDView panel({0.4}, {QStringLiteral("01:10"), {}, {}, 20.0});
    panel.resize(524, 420);
    panel.show();
    ASSERT_NE(panel.timeline(), nullptr);
    const MeetingTimelineScrollView &empty = *panel.timeline();
    ASSERT_NE(empty.placeholder(), nullptr);
    EXPECT_TRUE(empty.stageViews().isEmpty());
    const auto texts = empty.placeholder()->findChildren<TovalitTextLabel *>();
    QStringList shown;
    for (const TovalitTextLabel *label : texts)
        shown.append(label->text());
    EXPECT_TRUE(shown.contains(QStringLiteral("正在等待实时总结树")));
    EXPECT_TRUE(shown.contains(
        QStringLiteral("进入会议纪要模式后，系统会每 20 "
                       "秒判断一次是否追加新的阶段或子节。没有新增时不会额外展示。")));

    // One stage: no connector. Stages are built once the list shows.
    QList<MeetingMinuteBlock> blocks{sampleBlock(1, QStringLiteral("开场"), {}, {})};
    MeetingTimelineScrollView timeline(blocks, QStringLiteral("anchor"), 30.0);
    EXPECT_TRUE(timeline.stageViews().isEmpty());
    timeline.resize(500, 900);
    timeline.show();
    ASSERT_EQ(timeline.stageViews().size(), 1);
    EXPECT_EQ(timeline.placeholder(), nullptr);
    EXPECT_FALSE(timeline.stageViews()[0]->showsConnector());
    EXPECT_TRUE(timeline.stageViews()[0]->moduleBlock()->isHidden())
        << "a stage without modules shows no module rail";

    // Seven stages: every one but the last connects; the sixth is purple
    // again and the seventh orange.
    for (int index = 2; index <= 7; ++index)
        blocks.append(sampleBlock(index, QStringLiteral("阶段 %1").arg(index), {}, {}));
    MeetingTimelineStageView *firstStage = timeline.stageViews()[0];
    timeline.setBlocks(blocks);
    const auto stages = timeline.stageViews();
    ASSERT_EQ(stages.size(), 7);
    for (qsizetype position = 0; position < 7; ++position)
        EXPECT_EQ(stages[position]->showsConnector(), position < 6) << position;
    EXPECT_EQ(stages[5]->accent(), MeetingStageAccent::purple);
    EXPECT_EQ(stages[6]->accent(), MeetingStageAccent::orange);
    EXPECT_EQ(stages[0], firstStage) << "the first stage gains its connector in place";

    // An unchanged stage keeps its view; an edited one is drawn anew.
    MeetingTimelineStageView *second = stages[1];
    MeetingTimelineStageView *third = stages[2];
    QList<MeetingMinuteBlock> edited = blocks;
    edited[2] = MeetingMinuteBlock(blocks[2].id(), 3, QStringLiteral("改过的标题"), 60, 90, {}, {},
                                   blocks[2].createdAt());
    timeline.setBlocks(edited);
    EXPECT_EQ(timeline.stageViews()[1], second);
    EXPECT_NE(timeline.stageViews()[2], third);
}

TEST(MeetingTimelineScrollViewTest, TextModulesComeBeforeBoardsOnTheStagesRail) {
    const MeetingMinuteBlock block = testing::twoStageMeeting().first();
    MeetingTimelineStageView stage(block, MeetingStageAccent::green, true);
    QList<QWidget *> cards;
    for (QObject *child : stage.moduleBlock()->children()) {
        if (auto *widget = qobject_cast<QWidget *>(child))
            cards.append(widget);
    }
    ASSERT_EQ(cards.size(), 1 + block.visualModules().size());
    EXPECT_NE(qobject_cast<MeetingTextModuleView *>(cards[0]), nullptr);
    for (qsizetype index = 1; index < cards.size(); ++index)
        EXPECT_NE(qobject_cast<MeetingVisualModuleView *>(cards[index]), nullptr);
    auto *title = stage.findChild<RoundedBox *>(QStringLiteral("stageTitle"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->fillColor(), MeetingStageAccents::fill(MeetingStageAccent::green));
    EXPECT_EQ(title->findChild<TovalitTextLabel *>()->text(), block.title());
}

TEST(MeetingTimelineScrollViewTest, FollowsItsNewestStageThoughStagesMeasureTallerOnTheWay) {
    // Short stages at both ends, tall ones between: opened at its bottom and
    // then scrolled to its top, the list has measured only short stages and
    // takes the middle for short too.
    QList<MeetingMinuteBlock> blocks;
    for (int index = 1; index <= 40; ++index) {
        QList<MeetingTextModule> modules;
        for (int module = 0; index > 5 && index <= 35 && module < 4; ++module) {
            modules.append(
                {QUuid::createUuid(), QStringLiteral("要点"),
                 QStringLiteral("确认了灰度节奏，研发下周一给出方案，测试同步准备用例。")});
        }
        blocks.append(sampleBlock(index, QStringLiteral("阶段 %1").arg(index), modules, {}));
    }
    MeetingTimelineScrollView timeline(blocks, QStringLiteral("anchor"), 30.0);
    timeline.resize(500, 400);
    timeline.show();
    QScrollBar *bar = timeline.verticalScrollBar();
    waitUntil([&] { return bar->maximum() > 0 && timeline.isAtBottom(); },
              "the timeline to open at its newest stage");

    // The user scrolls up; a new stage brings the view back down.
    bar->setValue(0);
    blocks.append(sampleBlock(41, QStringLiteral("结论"), {}, {}));
    timeline.setBlocks(blocks);
    // The scroll starts one turn later; its frames are then stepped by hand.
    QCoreApplication::sendPostedEvents();
    auto *scroll = timeline.findChild<QVariantAnimation *>();
    ASSERT_NE(scroll, nullptr);
    ASSERT_EQ(scroll->state(), QAbstractAnimation::Running);
    scroll->pause();
    for (int time = 0; time <= scroll->duration(); time += 20)
        scroll->setCurrentTime(time);
    scroll->setCurrentTime(scroll->duration());
    ASSERT_EQ(scroll->state(), QAbstractAnimation::Stopped);

    EXPECT_TRUE(timeline.isAtBottom()) << bar->value() << " of " << bar->maximum();
    const QList<MeetingTimelineStageView *> stages = timeline.stageViews();
    ASSERT_FALSE(stages.isEmpty());
    MeetingTimelineStageView *newest = stages.last();
    EXPECT_EQ(newest->block().id(), blocks.last().id());
    EXPECT_TRUE(timeline.viewport()->rect().contains(
        QRect(newest->mapTo(timeline.viewport(), QPoint(0, 0)), newest->size())))
        << "the newest stage is on show in full";
}

TEST(MeetingRawTranscriptScrollViewTest, NumberedRowsWithTheLiveOneMarked) {
    EXPECT_EQ(MeetingRawTranscriptScrollView::segmentLabel(0), QStringLiteral("片段 01"));
    EXPECT_EQ(MeetingRawTranscriptScrollView::segmentLabel(8), QStringLiteral("片段 09"));
    EXPECT_EQ(MeetingRawTranscriptScrollView::segmentLabel(99), QStringLiteral("片段 100"));

    MeetingRawTranscriptScrollView list({}, QStringLiteral("anchor"));
    list.resize(500, 600);
    list.show();
    ASSERT_NE(list.placeholder(), nullptr);
    EXPECT_EQ(qobject_cast<TovalitTextLabel *>(list.placeholder())->text(),
              QStringLiteral("正在等待 ASR 流式输出..."));

    list.setSegments(testing::sampleSegments());
    EXPECT_EQ(list.placeholder(), nullptr);
    const QList<RoundedBox *> rows = list.rows();
    ASSERT_EQ(rows.size(), 3);
    for (qsizetype index = 0; index < 3; ++index) {
        const bool live = index == 2;
        EXPECT_EQ(rows[index]->findChild<RoundedBox *>(QStringLiteral("liveBadge"))->isHidden(),
                  !live);
        EXPECT_EQ(rows[index]->fillColor(),
                  live ? withOpacity(TovalitPalette::brand(), 0.1) : TovalitPalette::white(0.08));
    }
    EXPECT_EQ(rows[2]->findChild<TovalitTextLabel *>(QStringLiteral("segmentNumber"))->text(),
              QStringLiteral("片段 03"));

    // The list is rebuilt with new identifiers on every update: rows stay
    // by position and take the new texts.
    QList<MeetingASRSegment> grown = testing::sampleSegments();
    grown[2].isLive = false;
    grown.append({QUuid::createUuid(), QStringLiteral("下周开始灰度"), true});
    list.setSegments(grown);
    ASSERT_EQ(list.rows().size(), 4);
    EXPECT_EQ(list.rows()[0], rows[0]);
    EXPECT_EQ(list.rows()[2], rows[2]);
    EXPECT_TRUE(rows[2]->findChild<RoundedBox *>(QStringLiteral("liveBadge"))->isHidden());
    EXPECT_EQ(list.rows()[3]->findChild<TovalitTextLabel *>(QStringLiteral("segmentText"))->text(),
              QStringLiteral("下周开始灰度"));

    list.setSegments({grown[0]});
    EXPECT_EQ(list.rows().size(), 1);
    list.setSegments({});
    EXPECT_NE(list.placeholder(), nullptr);
    EXPECT_TRUE(list.rows().isEmpty());
}

QString shownText(const QWidget *row, const char *name) {
    const auto *label = row->findChild<TovalitTextLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

TEST(MeetingRawTranscriptScrollViewTest, AnHourOfSegmentsBuildsTheRowsInViewAndUpdatesThemInPlace) {
    QList<MeetingASRSegment> segments;
    for (int index = 0; index < 1000; ++index) {
        segments.append(
            {QUuid::createUuid(),
             QStringLiteral("第%1段：我们讨论了灰度上线的节奏和术语收集的方式。").arg(index + 1),
             index == 999});
    }
    MeetingRawTranscriptScrollView list(segments, QStringLiteral("anchor"));
    list.resize(500, 300);
    list.show();
    QScrollBar *bar = list.verticalScrollBar();
    waitUntil([&] { return bar->maximum() > 0 && list.isAtBottom(); },
              "the list to open at its newest row");
    EXPECT_LT(list.rows().size(), 40) << "only the rows in and near view are built";
    EXPECT_EQ(list.row(0), nullptr);
    RoundedBox *live = list.row(999);
    RoundedBox *previous = list.row(998);
    ASSERT_NE(live, nullptr);
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(shownText(live, "segmentNumber"), QStringLiteral("片段 1000"));
    EXPECT_FALSE(live->findChild<RoundedBox *>(QStringLiteral("liveBadge"))->isHidden());
    const QRect liveOnScreen(live->mapTo(list.viewport(), QPoint(0, 0)), live->size());
    EXPECT_TRUE(list.viewport()->rect().contains(liveOnScreen))
        << "the newest row is on show in full";

    // The next partial result renews every identifier and grows the live
    // text: the rows stay, the live one shows the new text.
    QList<MeetingASRSegment> grown = segments;
    for (MeetingASRSegment &segment : grown)
        segment.id = QUuid::createUuid();
    grown.last().text += QStringLiteral("下周开始灰度，先覆盖周会。");
    list.setSegments(grown);
    EXPECT_EQ(list.row(999), live);
    EXPECT_EQ(list.row(998), previous);
    EXPECT_EQ(shownText(live, "segmentText"), grown.last().text);
    waitUntil([&] { return list.isAtBottom(); }, "the list to follow its grown row");

    // The live segment closes and a new one starts.
    grown.last().isLive = false;
    grown.append({QUuid::createUuid(), QStringLiteral("接下来说招聘"), true});
    list.setSegments(grown);
    EXPECT_TRUE(live->findChild<RoundedBox *>(QStringLiteral("liveBadge"))->isHidden());
    ASSERT_NE(list.row(1000), nullptr);
    EXPECT_EQ(shownText(list.row(1000), "segmentNumber"), QStringLiteral("片段 1001"));
    waitUntil([&] { return list.isAtBottom(); }, "the list to follow its new row");

    // At the top the first rows are built, and those far below let go.
    bar->setValue(0);
    ASSERT_NE(list.row(0), nullptr);
    EXPECT_EQ(shownText(list.row(0), "segmentNumber"), QStringLiteral("片段 01"));
    EXPECT_EQ(shownText(list.row(0), "segmentText"), grown[0].text);
    EXPECT_EQ(list.row(999), nullptr);
    EXPECT_LT(list.rows().size(), 40);
}

TEST(MeetingTimelineScrollViewTest, ManyStagesBuildThoseInViewAndOnlyChangedOnesAnew) {
    QList<MeetingMinuteBlock> blocks;
    for (int index = 1; index <= 60; ++index) {
        blocks.append(sampleBlock(index, QStringLiteral("阶段 %1").arg(index),
                                  {{QUuid::createUuid(), QStringLiteral("要点"),
                                    QStringLiteral("确认了灰度节奏，研发下周一给出方案。")}},
                                  {}));
    }
    MeetingTimelineScrollView timeline(blocks, QStringLiteral("anchor"), 30.0);
    timeline.resize(500, 400);
    timeline.show();
    QScrollBar *bar = timeline.verticalScrollBar();
    waitUntil([&] { return bar->maximum() > 0 && timeline.isAtBottom(); },
              "the timeline to open at its newest stage");
    QList<MeetingTimelineStageView *> stages = timeline.stageViews();
    ASSERT_FALSE(stages.isEmpty());
    EXPECT_LT(stages.size(), 20) << "only the stages in and near view are built";
    EXPECT_EQ(stages.last()->block().id(), blocks.last().id());
    EXPECT_NE(stages.first()->block().id(), blocks.first().id());

    // The tick merges into the newest stage: only that stage is drawn anew.
    MeetingTimelineStageView *earlier = stages[stages.size() - 2];
    QList<MeetingMinuteBlock> merged = blocks;
    merged.last() = merged.last().merging(sampleBlock(
        60, merged.last().title(),
        {{QUuid::createUuid(), QStringLiteral("结论"), QStringLiteral("月底上线。")}}, {}));
    timeline.setBlocks(merged);
    stages = timeline.stageViews();
    EXPECT_EQ(stages[stages.size() - 2], earlier);
    EXPECT_EQ(stages.last()->block(), merged.last());
    waitUntil([&] { return timeline.isAtBottom(); }, "the timeline to follow its newest stage");

    // At the top the first stage is built, in the first colour.
    bar->setValue(0);
    stages = timeline.stageViews();
    ASSERT_FALSE(stages.isEmpty());
    EXPECT_EQ(stages.first()->block().id(), blocks.first().id());
    EXPECT_EQ(stages.first()->accent(), MeetingStageAccent::purple);
    EXPECT_LT(stages.size(), 20);
}

} // namespace
} // namespace tovalit
