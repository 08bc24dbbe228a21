#include "models/meeting_minute_block.h"
#include "models/meeting_node_id.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <QSet>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace meetingtest;
using Kind = MeetingVisualModuleKind;

const QDateTime createdAt = QDateTime::fromSecsSinceEpoch(1'740'000'000, Qt::UTC);

MeetingMinuteBlock block(const QString &title, int start, int end,
                         const QList<MeetingTextModule> &text,
                         const QList<MeetingVisualModule> &visual = {}) {
    return MeetingMinuteBlock(QUuid::createUuid(), 1, title, start, end, text, visual, createdAt);
}

TEST(MeetingMinuteBlock, SecondsAreClampedIntoAnOrderedSpan) {
    const auto negative = block(u"甲"_s, -5, 30, {});
    EXPECT_EQ(negative.startSecond(), 0);
    EXPECT_EQ(negative.endSecond(), 30);
    const auto reversed = block(u"甲"_s, 90, 60, {});
    EXPECT_EQ(reversed.startSecond(), 90);
    EXPECT_EQ(reversed.endSecond(), 90);
}

TEST(MeetingMinuteBlock, TimeRangeLabelsCountMinutesPastTheHour) {
    const struct {
        int start;
        int end;
        const char *label;
    } cases[] = {
        {0, 75, "00:00 - 01:15"},   {3600, 3725, "60:00 - 62:05"},  {-20, 9, "00:00 - 00:09"},
        {130, 20, "02:10 - 02:10"}, {5999, 6000, "99:59 - 100:00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(u8(MeetingMinuteBlock::timeRangeLabel(c.start, c.end)), c.label);
}

TEST(MeetingMinuteBlock, TheConstructorShapesModules) {
    const auto shaped =
        block(u"产品规划"_s, 0, 30,
              {textModule(u" 目标 "_s, u"甲。乙。丙。丁"_s), textModule(u"二"_s, u"二"_s),
               textModule(u"三"_s, u"三"_s), textModule(u"四"_s, u"四"_s)});
    EXPECT_EQ(titles(shaped.textModules()), (std::vector<std::string>{"目标", "二", "三"}));
    EXPECT_EQ(u8(shaped.textModules()[0].body), "甲；乙；另含2点补充。");
    // Text without a board gets one cards board made from the text modules.
    ASSERT_EQ(shaped.visualModules().size(), 1);
    EXPECT_EQ(shaped.visualModules()[0].kind, Kind::cards);
    EXPECT_EQ(u8(shaped.visualModules()[0].title), "产品规划结构脉络");
    EXPECT_EQ(titles(shaped.visualModules()[0].items),
              (std::vector<std::string>{"目标", "二", "三"}));

    EXPECT_TRUE(block(u"空"_s, 0, 30, {}).visualModules().isEmpty());
}

TEST(MeetingMinuteBlock, MergingKeepsIdentityAndFoldsTheLaterStageIn) {
    const auto earlier = block(u"产品规划"_s, 60, 90, {textModule(u"目标"_s, u"先做核心功能"_s)},
                               {visualModule(Kind::cards, u"功能清单"_s, {item(u"录音"_s)})});
    const MeetingMinuteBlock later(
        QUuid::createUuid(), 7, u"产品规划补充"_s, 30, 120,
        {textModule(u"目标"_s, u"两周一版"_s), textModule(u"风险"_s, u"人手不足"_s)},
        {visualModule(Kind::process, u"功能清单"_s, {item(u"转写"_s)})}, createdAt.addSecs(60));
    const auto merged = earlier.merging(later);
    EXPECT_EQ(merged.id(), earlier.id());
    EXPECT_EQ(merged.index(), earlier.index());
    EXPECT_EQ(merged.title(), earlier.title());
    EXPECT_EQ(merged.createdAt(), earlier.createdAt());
    EXPECT_EQ(merged.startSecond(), 30);
    EXPECT_EQ(merged.endSecond(), 120);
    EXPECT_EQ(titles(merged.textModules()), (std::vector<std::string>{"目标", "风险"}));
    EXPECT_EQ(u8(merged.textModules()[0].body), "先做核心功能；两周一版。");
    ASSERT_EQ(merged.visualModules().size(), 1);
    EXPECT_EQ(merged.visualModules()[0].kind, Kind::process);
    EXPECT_EQ(titles(merged.visualModules()[0].items), (std::vector<std::string>{"录音", "转写"}));

    // Re-merging the same content changes nothing visible.
    const auto twice = merged.merging(later);
    EXPECT_EQ(twice.textModules(), merged.textModules());
}

TEST(MeetingMinuteBlock, WrittenBackInTheTreeLanguage) {
    const auto stage =
        block(u"上线排期"_s, 0, 60,
              {textModule(u"节奏"_s, u"先内测"_s), textModule(u"风险"_s, u"人手不足"_s)},
              {visualModule(Kind::process, u"发布步骤"_s,
                            {item(u"内测"_s, u"两周"_s), item(u"公测"_s, u"一个月"_s),
                             item(u"正式"_s), item(u"复盘"_s, u"写总结"_s)})});
    EXPECT_EQ(u8(stage.promptFragment()),
              "[阶段] 上线排期\n"
              "[文本模块] 节奏 => 先内测。\n"
              "[文本模块] 风险 => 人手不足。\n"
              "[图文模块] 流程板|发布步骤 => 内测::两周 || 公测::一个月 || 正式 || 复盘::写总结");
    EXPECT_EQ(u8(stage.promptOutlineFragment()), "[阶段] 上线排期\n"
                                                 "[已有文本模块] 节奏 || 风险\n"
                                                 "[已有图文模块] 流程板|发布步骤");
    EXPECT_EQ(u8(block(u"空"_s, 0, 0, {}).promptOutlineFragment()), "[阶段] 空");
    EXPECT_EQ(u8(block(u"空"_s, 0, 0, {}).promptFragment()), "[阶段] 空");
}

TEST(MeetingNodeIds, AreDistinctRandomVersionFourIdentifiers) {
    QSet<QUuid> seen;
    for (int i = 0; i < 1000; ++i) {
        const QUuid id = newMeetingNodeId();
        ASSERT_EQ(id.version(), QUuid::Random);
        ASSERT_EQ(id.variant(), QUuid::DCE);
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 1000);
}

} // namespace
} // namespace tovalit
