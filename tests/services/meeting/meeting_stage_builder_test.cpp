#include "services/meeting/meeting_stage_builder.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace meetingtest;
using namespace MeetingStageBuilder;

const QDateTime createdAt = QDateTime::fromSecsSinceEpoch(1'740'000'000, Qt::UTC);

// A tick as the meeting controller runs it: build, re-title, merge.
std::string tick(QList<MeetingMinuteBlock> &blocks, const QString &answer, int start, int end,
                 const QString &window = {}, bool mustDecide = false) {
    const QString currentTitle = blocks.isEmpty() ? QString() : blocks.last().title();
    const int currentTextModules =
        blocks.isEmpty() ? 0 : static_cast<int>(blocks.last().textModules().size());
    auto block = buildMeetingBlock(answer, static_cast<int>(blocks.size()) + 1, start, end,
                                   currentTitle, currentTextModules, window, createdAt);
    if (!block)
        return "no block";
    const MeetingMinuteBlock settled = normalizedMeetingContinuationBlock(
        *block, currentTitle, currentTextModules, window, mustDecide);
    const QString action = meetingMergeActionDescription(blocks, settled);
    mergeMeetingBlock(blocks, settled);
    return u8(action);
}

QString stage(const QString &title, const QStringList &textModules) {
    QStringList lines{u"[阶段] "_s + title};
    for (const QString &module : textModules)
        lines.append(u"[文本模块] "_s + module);
    return lines.join(u'\n');
}

TEST(MeetingStageBuilding, NoUpdateAndEmptyAnswersGiveNoBlock) {
    for (const QString &answer : {u"[不新增]"_s, u"  [不新增] \r\n\r\n"_s, u""_s, u" \n\t"_s,
                                  u"好的，没有新内容。"_s, u"[阶段] 只有标题"_s}) {
        EXPECT_FALSE(buildMeetingBlock(answer, 1, 0, 30, {}, 0, {}, createdAt)) << u8(answer);
    }
    const auto block = buildMeetingBlock(u"[不新增]\n[阶段] 预算\n[文本模块] 额度 => 收紧"_s, 2, 30,
                                         75, {}, 0, {}, createdAt);
    ASSERT_TRUE(block);
    EXPECT_EQ(u8(block->title()), "预算");
    EXPECT_EQ(block->index(), 2);
    EXPECT_EQ(block->startSecond(), 30);
    EXPECT_EQ(block->endSecond(), 75);
    EXPECT_EQ(block->createdAt(), createdAt);
}

TEST(MeetingStageBuilding, EveryNewlineCharacterEndsALine) {
    const auto plain = buildMeetingBlock(
        u"[阶段] 预算\n[文本模块] 额度 => 收紧\n[图文模块] 决策日志|结论 => 冻结::暂停招聘"_s, 1, 0,
        30, {}, 0, {}, createdAt);
    ASSERT_TRUE(plain);
    for (const QString &breakText :
         {u"\r\n"_s, u"\r\n\r\n  \r\n"_s, u"\r"_s, u"\u2028"_s, u"\u0085"_s, u"\n\n"_s}) {
        const QString answer = u"[阶段] 预算"_s + breakText + u"[文本模块] 额度 => 收紧"_s +
                               breakText + u"[图文模块] 决策日志|结论 => 冻结::暂停招聘"_s +
                               breakText;
        const auto block = buildMeetingBlock(answer, 1, 0, 30, {}, 0, {}, createdAt);
        ASSERT_TRUE(block);
        EXPECT_EQ(block->promptFragment(), plain->promptFragment());
    }
}

TEST(MeetingStageBuilding, ContinuationsAreRetitledAndMerged) {
    QList<MeetingMinuteBlock> blocks;
    EXPECT_EQ(tick(blocks, stage(u"产品规划"_s, {u"目标 => 先做核心功能"_s}), 0, 60),
              "append_new_stage");
    const QUuid firstId = blocks[0].id();

    // The model re-titles the ongoing topic: folded into the same stage.
    EXPECT_EQ(tick(blocks, stage(u"产品规划补充"_s, {u"节奏 => 两周一版"_s}), 60, 90),
              "merge_into_current_stage");
    ASSERT_EQ(blocks.size(), 1);
    EXPECT_EQ(blocks[0].id(), firstId);
    EXPECT_EQ(u8(blocks[0].title()), "产品规划");
    EXPECT_EQ(blocks[0].endSecond(), 90);
    EXPECT_EQ(titles(blocks[0].textModules()), (std::vector<std::string>{"目标", "节奏"}));

    // A third angle, then a clearly different topic once the stage is full.
    EXPECT_EQ(tick(blocks, stage(u"产品规划"_s, {u"风险 => 人手不足"_s}), 90, 120),
              "merge_into_current_stage");
    EXPECT_EQ(tick(blocks, stage(u"预算评审"_s, {u"额度 => 收紧"_s}), 120, 150),
              "append_new_stage");
    ASSERT_EQ(blocks.size(), 2);
    EXPECT_EQ(blocks[1].index(), 2);
    EXPECT_EQ(blocks[1].startSecond(), 120);
}

TEST(MeetingStageBuilding, TheScoreDecidesBetweenMergeAndAppend) {
    const auto current = [](const QString &title, int textModules) {
        QStringList modules;
        for (int i = 1; i <= textModules; ++i)
            modules.append(u"角度"_s + QString::number(i) + u" => 内容"_s + QString::number(i));
        QList<MeetingMinuteBlock> blocks;
        tick(blocks, stage(title, modules), 0, 60);
        return blocks;
    };

    auto full = current(u"上线排期"_s, 3);
    EXPECT_EQ(tick(full, stage(u"预算评审"_s, {u"额度 => 收紧"_s}), 60, 90), "append_new_stage");

    // Similarity 0.6 (+1) and a stage of two text modules (+1).
    auto small = current(u"上线准备期"_s, 2);
    EXPECT_EQ(tick(small, stage(u"上线灰度期"_s, {u"灰度 => 一成用户"_s}), 60, 90),
              "merge_into_current_stage");
    EXPECT_EQ(u8(small.last().title()), "上线准备期");

    // An agenda shift in the window outweighs the same signals.
    auto shifted = current(u"上线准备期"_s, 2);
    EXPECT_EQ(tick(shifted, stage(u"上线灰度期"_s, {u"灰度 => 一成用户"_s}), 60, 90,
                   u"好，下一个吧，灰度怎么做"_s),
              "append_new_stage");

    // Titles equal but for a trailing blank are different stages to the merge.
    QList<MeetingMinuteBlock> blocks = current(u"预算"_s, 1);
    const MeetingMinuteBlock blank(QUuid::createUuid(), 2, u"预算 "_s, 60, 90,
                                   {textModule(u"额度"_s, u"收紧"_s)}, {}, createdAt);
    EXPECT_EQ(u8(meetingMergeActionDescription(blocks, blank)), "append_new_stage");
    mergeMeetingBlock(blocks, blank);
    EXPECT_EQ(blocks.size(), 2);
}

TEST(MeetingStageBuilding, RetitlingKeepsTheBlockIdentity) {
    const MeetingMinuteBlock block(QUuid::createUuid(), 4, u"产品规划补充"_s, 10, 20,
                                   {textModule(u"节奏"_s, u"两周一版"_s)}, {}, createdAt);
    const auto retitled = normalizedMeetingContinuationBlock(block, u"产品规划"_s, 3, u""_s, false);
    EXPECT_EQ(u8(retitled.title()), "产品规划");
    EXPECT_EQ(retitled.id(), block.id());
    EXPECT_EQ(retitled.index(), 4);
    EXPECT_EQ(retitled.createdAt(), createdAt);
    EXPECT_EQ(retitled.textModules(), block.textModules());
    EXPECT_EQ(retitled.visualModules(), block.visualModules());

    // A follow-up word alone (+2) is enough to continue whatever stage is open.
    EXPECT_EQ(u8(normalizedMeetingContinuationBlock(block, u"预算评审"_s, 3, u""_s, true).title()),
              "预算评审");
    EXPECT_EQ(normalizedMeetingContinuationBlock(block, u""_s, 0, u""_s, true), block);
    const MeetingMinuteBlock unrelated(QUuid::createUuid(), 5, u"招聘计划"_s, 20, 30,
                                       {textModule(u"名额"_s, u"两人"_s)}, {}, createdAt);
    EXPECT_EQ(normalizedMeetingContinuationBlock(unrelated, u"预算评审"_s, 3, u""_s, true),
              unrelated);
}

} // namespace
} // namespace tovalit
