#include "models/meeting_module_shaping.h"
#include "support/textkit.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace meetingtest;
namespace S = MeetingModuleShaping;
using Kind = MeetingVisualModuleKind;

TEST(MeetingTextShaping, CondensingKeepsTwoFragmentsAndCountsTheRest) {
    const struct {
        QString body;
        QString condensed;
    } cases[] = {
        {u"甲。乙。丙。丁"_s, u"甲；乙；另含2点补充。"_s},
        {u"  "_s, u""_s},
        {u"甲"_s, u"甲。"_s},
        {u"真的吗？"_s, u"真的吗。"_s},                // fragments are restated with 。
        {u"甲。甲。乙"_s, u"甲；乙。"_s},              // repeats go before counting
        {u"Plan A。plan a！B"_s, u"Plan A；B。"_s},    // repeats ignore case
        {u"甲\n乙\n丙"_s, u"甲；乙；另含1点补充。"_s}, // a line feed ends a sentence
        {u"。；！"_s, u"。；！"_s},                    // no fragment: the text, finished
    };
    for (const auto &c : cases)
        EXPECT_EQ(u8(S::condensedTextBody(c.body)), u8(c.condensed)) << u8(c.body);
}

TEST(MeetingTextShaping, BodiesAreCappedAtNinetySixCharacters) {
    const QString long120 = u"字"_s.repeated(120);
    EXPECT_EQ(u8(S::condensedTextBody(long120)), u8(u"字"_s.repeated(96) + u"..."_s));
    // 96 characters fit and get their full stop; 97 do not.
    EXPECT_EQ(u8(S::finalizedTextBody(u"字"_s.repeated(96))), u8(u"字"_s.repeated(96) + u"。"_s));
    EXPECT_EQ(u8(S::finalizedTextBody(u"字"_s.repeated(97))), u8(u"字"_s.repeated(96) + u"..."_s));
    // Characters, not UTF-16 units: 96 emoji are 384 units and still fit.
    const QString emoji = u"👍🏽"_s.repeated(96);
    EXPECT_EQ(u8(S::finalizedTextBody(emoji)), u8(emoji + u"。"_s));
}

TEST(MeetingTextShaping, CondensingItsOwnOutputChangesNothing) {
    // Every rebuild of a block condenses its bodies again; the count of
    // left-out points must survive that, and grow when points are added.
    const QString once = S::condensedTextBody(u"甲。乙。丙。丁。戊"_s);
    EXPECT_EQ(u8(once), "甲；乙；另含3点补充。");
    EXPECT_EQ(u8(S::condensedTextBody(once)), u8(once));
    EXPECT_EQ(u8(S::condensedTextBody(S::mergedNarrative(once, u"己。庚"_s))),
              "甲；乙；另含5点补充。");
    const QString truncated = S::condensedTextBody(u"字"_s.repeated(120));
    EXPECT_EQ(u8(S::condensedTextBody(truncated)), u8(truncated));
}

TEST(MeetingTextShaping, MergingNarratives) {
    const struct {
        QString first;
        QString second;
        QString merged;
    } cases[] = {
        {u""_s, u"乙。"_s, u"乙。"_s},
        {u"甲。"_s, u"  "_s, u"甲。"_s},
        {u"甲。"_s, u"甲。"_s, u"甲。"_s},
        {u"甲"_s, u"甲乙。"_s, u"甲乙。"_s}, // the second holds the first
        {u"甲乙。"_s, u"乙"_s, u"甲乙。"_s}, // the first holds the second
        {u"甲。乙"_s, u"乙。丙"_s, u"甲；乙；丙。"_s},
    };
    for (const auto &c : cases)
        EXPECT_EQ(u8(S::mergedNarrative(c.first, c.second)), u8(c.merged));
}

TEST(MeetingTextShaping, ModulesWithTheSameTitleMergeAndTheThirdAbsorbsTheRest) {
    const auto first = textModule(u"背景"_s, u"预算收紧。"_s);
    const auto resolved = S::resolvedTextModules({
        first,
        textModule(u"背景 "_s, u"人手不足"_s),
        textModule(u"  "_s, u"无标题"_s),
        textModule(u"空"_s, u" "_s),
        textModule(u"API"_s, u"接口稳定"_s),
        textModule(u"api"_s, u"接口稳定"_s),
    });
    EXPECT_EQ(titles(resolved), (std::vector<std::string>{"背景", "API"}));
    EXPECT_EQ(bodies(resolved), (std::vector<std::string>{"预算收紧；人手不足。", "接口稳定。"}));
    EXPECT_EQ(resolved[0].id, first.id);

    const auto five = S::limitedTextModules(S::resolvedTextModules({
        textModule(u"甲"_s, u"一。"_s),
        textModule(u"乙"_s, u"二。"_s),
        textModule(u"丙"_s, u"丙的判断。丙的理由。"_s),
        textModule(u"丁"_s, u"四。"_s),
        textModule(u"戊"_s, u"五。"_s),
    }));
    EXPECT_EQ(titles(five), (std::vector<std::string>{"甲", "乙", "丙"}));
    EXPECT_EQ(bodies(five),
              (std::vector<std::string>{"一。", "二。", "丙的判断；另含丁、戊补充。"}));

    EXPECT_EQ(u8(S::condensedOverflowTextBody(u"丙。"_s, {u"丁"_s, u"戊"_s, u"己"_s, u"庚"_s})),
              "丙；另含丁、戊、己等4项补充。");
    EXPECT_EQ(u8(S::condensedOverflowTextBody(u""_s, {u"丁"_s})), "另含丁补充。");
}

TEST(MeetingVisualShaping, ItemBodiesAreCutAtTwentyEightCharacters) {
    EXPECT_EQ(u8(S::truncatedVisualBody(u"说"_s.repeated(40))),
              u8(u"说"_s.repeated(28) + u"..."_s));
    EXPECT_EQ(u8(S::truncatedVisualBody(u"说"_s.repeated(28))), u8(u"说"_s.repeated(28)));
    EXPECT_EQ(u8(S::truncatedVisualBody(u" 短 "_s)), "短");

    const auto resolved =
        S::resolvedVisualItems({item(u"甲"_s, u"说明"_s), item(u" 甲 "_s, u"说明 "_s),
                                item(u"甲"_s), item(u" "_s, u"无题"_s)});
    EXPECT_EQ(titles(resolved), (std::vector<std::string>{"甲", "甲"}));
    EXPECT_EQ(bodies(resolved), (std::vector<std::string>{"说明", ""}));
}

TEST(MeetingVisualShaping, SevenOrMoreItemsBecomeFiveAndASummary) {
    QList<MeetingVisualItem> nine;
    for (int i = 1; i <= 9; ++i)
        nine.append(item(u"项"_s + QString::number(i), i == 6 ? u"第六项说明"_s : QString()));
    const auto six = S::limitedVisualItems(nine);
    ASSERT_EQ(six.size(), 6);
    EXPECT_EQ(titles(six), (std::vector<std::string>{"项1", "项2", "项3", "项4", "项5", "项6"}));
    EXPECT_EQ(six[4].id, nine[4].id);
    EXPECT_NE(six[5].id, nine[5].id);
    EXPECT_EQ(u8(six[5].body), "第六项说明，另含 项7 / 项8，等4项");

    // Seven items: two summarised, too few for "等N项"; an untitled one is not named.
    const auto seven =
        S::limitedVisualItems({item(u"一"_s), item(u"二"_s), item(u"三"_s), item(u"四"_s),
                               item(u"五"_s), item(u"六"_s), item(u" "_s, u"无题"_s)});
    EXPECT_EQ(u8(seven[5].title), "六");
    EXPECT_EQ(u8(seven[5].body), "");
    const auto named =
        S::limitedVisualItems({item(u"一"_s), item(u"二"_s), item(u"三"_s), item(u"四"_s),
                               item(u"五"_s), item(u"六"_s), item(u"七"_s)});
    EXPECT_EQ(u8(named[5].body), "另含 七");

    // The joined summary is cut like any other body.
    nine[5].body = u"说"_s.repeated(26);
    EXPECT_EQ(u8(S::limitedVisualItems(nine)[5].body), u8(u"说"_s.repeated(26) + u"，另..."_s));
}

TEST(MeetingVisualShaping, ModulesNamingTheSameThingMerge) {
    const auto kept = visualModule(Kind::cards, u"路线图（草案）"_s, {item(u"甲"_s)});
    const auto merged = S::dedupedVisualModules(
        {kept, visualModule(Kind::process, u"路线图 草案"_s, {item(u"甲"_s), item(u"乙"_s)})});
    ASSERT_EQ(merged.size(), 1);
    EXPECT_EQ(merged[0].id, kept.id);
    EXPECT_EQ(u8(merged[0].title), "路线图（草案）");
    EXPECT_EQ(merged[0].kind, Kind::process); // the later kind wins
    EXPECT_EQ(titles(merged[0].items), (std::vector<std::string>{"甲", "乙"}));

    // Near-equal titles merge only within one kind.
    const auto sameKind =
        S::dedupedVisualModules({visualModule(Kind::cards, u"用户增长路径"_s, {item(u"甲"_s)}),
                                 visualModule(Kind::cards, u"用户增长路线"_s, {item(u"乙"_s)})});
    EXPECT_EQ(sameKind.size(), 1);
    const auto otherKind =
        S::dedupedVisualModules({visualModule(Kind::cards, u"用户增长路径"_s, {item(u"甲"_s)}),
                                 visualModule(Kind::chips, u"用户增长路线"_s, {item(u"乙"_s)})});
    EXPECT_EQ(otherKind.size(), 2);

    // A shared stem merges only with a follow-up word in one of the titles.
    EXPECT_EQ(u8(S::visualTitleAnchor(u"产品规划进展同步"_s)), "产品规划");
    EXPECT_EQ(
        S::dedupedVisualModules({visualModule(Kind::cards, u"产品规划"_s, {item(u"甲"_s)}),
                                 visualModule(Kind::cards, u"产品规划进展同步"_s, {item(u"乙"_s)})})
            .size(),
        1);
    EXPECT_EQ(
        S::dedupedVisualModules({visualModule(Kind::cards, u"产品规划"_s, {item(u"甲"_s)}),
                                 visualModule(Kind::cards, u"产品规划的预算表"_s, {item(u"乙"_s)})})
            .size(),
        2);

    // Untitled or empty boards are dropped.
    EXPECT_TRUE(S::dedupedVisualModules({visualModule(Kind::cards, u" "_s, {item(u"甲"_s)}),
                                         visualModule(Kind::cards, u"空"_s, {item(u" "_s)})})
                    .isEmpty());
}

TEST(MeetingVisualShaping, AFourthBoardFoldsIntoASummaryBoard) {
    const QList<MeetingVisualModule> four{
        visualModule(Kind::cards, u"目标用户"_s, {item(u"学生"_s), item(u"白领"_s)}),
        visualModule(Kind::process, u"上线节奏"_s, {item(u"内测"_s), item(u"公测"_s)}),
        visualModule(Kind::chips, u"定价方案"_s,
                     {item(u"免费"_s), item(u" "_s), item(u"订阅"_s), item(u"买断"_s)}),
        visualModule(Kind::decision, u"渠道取舍"_s, {item(u"应用商店"_s)}),
    };
    const auto three = S::limitedVisualModules(four, u"产品规划"_s);
    ASSERT_EQ(three.size(), 3);
    EXPECT_EQ(three[0], four[0]);
    EXPECT_EQ(three[1], four[1]);
    EXPECT_EQ(three[2].kind, Kind::cards);
    EXPECT_EQ(u8(three[2].title), "产品规划补充脉络");
    EXPECT_EQ(titles(three[2].items), (std::vector<std::string>{"定价方案", "渠道取舍"}));
    EXPECT_EQ(bodies(three[2].items), (std::vector<std::string>{"免费 / 订阅", "应用商店"}));

    // An earlier summary is not summarised again.
    const auto again = S::aggregatedVisualItems({three[2], four[3]});
    EXPECT_EQ(titles(again), (std::vector<std::string>{"渠道取舍"}));

    EXPECT_EQ(u8(S::overflowVisualModuleTitle(u""_s)), "补充脉络");
    EXPECT_EQ(u8(S::overflowVisualModuleTitle(u"字"_s.repeated(13))), "补充脉络");
    EXPECT_EQ(u8(S::fallbackVisualModuleTitle(u" 预算 "_s)), "预算结构脉络");
    EXPECT_EQ(u8(S::fallbackVisualModuleTitle(u"字"_s.repeated(12))),
              u8(u"字"_s.repeated(12) + u"结构脉络"_s));
    EXPECT_EQ(u8(S::fallbackVisualModuleTitle(u"字"_s.repeated(13))), "核心脉络");
}

TEST(MeetingVisualShaping, TextWithoutABoardGetsOneMadeFromIt) {
    const QList<MeetingTextModule> text{textModule(u"甲"_s, u"一"_s), textModule(u"乙"_s, u"二"_s),
                                        textModule(u"丙"_s, u"说"_s.repeated(30)),
                                        textModule(u"丁"_s, u"四"_s)};
    const auto ensured = S::ensuredVisualModules(
        {visualModule(Kind::cards, u" "_s, {item(u"甲"_s)})}, u"预算"_s, text);
    ASSERT_EQ(ensured.size(), 1);
    EXPECT_EQ(ensured[0].kind, Kind::cards);
    EXPECT_EQ(u8(ensured[0].title), "预算结构脉络");
    EXPECT_EQ(titles(ensured[0].items), (std::vector<std::string>{"甲", "乙", "丙"}));
    EXPECT_EQ(u8(ensured[0].items[2].body), u8(u"说"_s.repeated(28) + u"..."_s));

    EXPECT_TRUE(S::ensuredVisualModules({}, u"预算"_s, {}).isEmpty());
}

} // namespace
} // namespace tovalit
