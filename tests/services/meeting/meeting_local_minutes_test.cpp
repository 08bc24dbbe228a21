#include "services/meeting/meeting_local_minutes.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace meetingtest;
using Kind = MeetingVisualModuleKind;

MeetingMinuteBlock block(int index, const QString &title, QList<MeetingTextModule> text,
                         QList<MeetingVisualModule> visual) {
    return MeetingMinuteBlock(QUuid::createUuid(), index, title, 0, 30, std::move(text),
                              std::move(visual), QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
}

TEST(MeetingLocalMinutes, OverviewThenOneEntryPerStage) {
    const QList<MeetingMinuteBlock> blocks{
        block(1, u"预算讨论"_s, {textModule(u"核心判断"_s, u"预算下调一成。"_s)},
              {visualModule(Kind::cards, u"关键指标"_s,
                            {item(u"成本"_s, u"降低"_s), item(u"人力"_s)})}),
        block(2, u"人员安排"_s, {textModule(u"分工"_s, u"两人负责前端。"_s)}, {}),
    };
    const QString minutes = MeetingLocalMinutes::fromBlocks(blocks);
    // The block shapes its own boards (a stage with text always gets one),
    // so the second stage's board lines are read back from the block.
    QStringList secondBoards;
    for (const MeetingVisualModule &module : blocks[1].visualModules()) {
        QStringList items;
        for (const MeetingVisualItem &entry : module.items)
            items << (entry.body.isEmpty() ? entry.title : entry.title + u"："_s + entry.body);
        secondBoards << u"- "_s + module.title + u"："_s + items.join(u"；"_s);
    }
    EXPECT_EQ(u8(minutes), u8(u"## 会议概览\n"
                              u"预算下调一成。\n"
                              u"\n"
                              u"## 讨论演进\n"
                              u"### 预算讨论\n"
                              u"- 核心判断：预算下调一成。\n"
                              u"- 关键指标：成本：降低；人力\n"
                              u"\n"
                              u"### 人员安排\n"
                              u"- 分工：两人负责前端。\n"_s +
                              secondBoards.join(u'\n')));
    EXPECT_FALSE(minutes.endsWith(u'\n'));
}

TEST(MeetingLocalMinutes, AFirstStageWithoutTextGivesTheFixedOverview) {
    const QString minutes = MeetingLocalMinutes::fromBlocks(
        {block(1, u"开场"_s, {},
               {visualModule(Kind::chips, u"议程"_s, {item(u"预算"_s), item(u"人员"_s)})})});
    EXPECT_TRUE(minutes.startsWith(
        u"## 会议概览\n本次会议已进入结构化讨论阶段。\n\n## 讨论演进\n### 开场\n"_s))
        << u8(minutes);
}

} // namespace
} // namespace tovalit
