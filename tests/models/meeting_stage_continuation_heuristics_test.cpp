#include "models/meeting_stage_continuation_heuristics.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using meetingtest::u8;
namespace H = MeetingStageContinuationHeuristics;

TEST(MeetingStageTitles, NormalisationDropsBlanksSeparatorsAndBracketsAndLowerCases) {
    EXPECT_EQ(u8(H::normalizedTitle(u"  API 设计（草案）-v2 "_s)), "api设计草案v2");
    EXPECT_EQ(u8(H::normalizedTitle(u"目标、约束；风险【初稿】"_s)), "目标约束风险初稿");
    EXPECT_EQ(u8(H::normalizedTitle(u" \n\u3000 "_s)), "");
}

TEST(MeetingStageTitles, TopicAnchorTakesTheHeadBeforeAConnectorOrAGenericTail) {
    const struct {
        const char16_t *title;
        const char *anchor;
    } cases[] = {
        {u"增长策略与渠道", "增长策略"},       // head before 与 has four characters
        {u"用户增长执行优化", "用户增长"},     // the longer tail 执行优化 is tried first
        {u"增长策略、渠道", "增长策略"},       // the enumeration comma is a connector here
        {u"产品的规划", "产品的规划"},         // neither head nor stem reaches four
        {u"海外渠道运营落地约束", "海外渠道"}, // the six-character tail goes first ...
        {u"渠道运营落地约束", "渠道运营"},     // ... a shorter one when that stem is too short
        {u"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(u8(H::topicAnchor(QString::fromUtf16(c.title))), c.anchor) << c.anchor;
}

TEST(MeetingStageTitles, PrefixAndSimilarityCountWholeCharacters) {
    EXPECT_EQ(u8(H::commonNormalizedPrefix(u"产品规划甲"_s, u"产品规划乙"_s)), "产品规划");
    EXPECT_EQ(u8(H::commonNormalizedPrefix(u"甲"_s, u"乙"_s)), "");
    // Two skin tones share their first UTF-16 unit but are different characters.
    EXPECT_EQ(u8(H::commonNormalizedPrefix(u"👍🏽好"_s, u"👍🏾好"_s)), "");
    EXPECT_EQ(u8(H::commonNormalizedPrefix(u"👍🏽好"_s, u"👍🏽坏"_s)), "👍🏽");

    EXPECT_DOUBLE_EQ(H::titleSimilarity(u"上线计划"_s, u"上线排期"_s), 0.5);
    EXPECT_DOUBLE_EQ(H::titleSimilarity(u"上线灰度期"_s, u"上线准备期"_s), 0.6);
    EXPECT_DOUBLE_EQ(H::titleSimilarity(u""_s, u"上线"_s), 0.0);
    EXPECT_DOUBLE_EQ(H::titleSimilarity(u"é好"_s, u"e\u0301好"_s), 0.5);

    const QString a = u"ABCBDAB"_s;
    const QString b = u"BDCABA"_s;
    EXPECT_EQ(H::longestCommonSubsequenceLength(H::characterArray(a), H::characterArray(b)), 4);
    EXPECT_EQ(H::longestCommonSubsequenceLength(H::characterArray(a), {}), 0);
}

TEST(MeetingStageTitles, CuesForFollowUpsAndAgendaShifts) {
    EXPECT_TRUE(H::hasDerivativeContinuationCue(u"预算 同步"_s));
    EXPECT_TRUE(H::hasDerivativeContinuationCue(u"试点（第二批）"_s));
    EXPECT_FALSE(H::hasDerivativeContinuationCue(u"预算评审"_s));

    EXPECT_TRUE(H::hasStrongAgendaShiftCue(u"好的，那下一个吧，聊预算"_s));
    EXPECT_TRUE(H::hasStrongAgendaShiftCue(u"我们先\n跳到排期"_s)); // line feeds are removed first
    EXPECT_FALSE(H::hasStrongAgendaShiftCue(u" \n "_s));

    // Only the first 80 characters count, and emoji are one character each.
    const QString emoji78 = u"👍🏽"_s.repeated(78);
    EXPECT_TRUE(H::hasStrongAgendaShiftCue(QString(emoji78 + u"转到预算"_s)));
    EXPECT_FALSE(H::hasStrongAgendaShiftCue(QString(u"嗯"_s.repeated(79) + u"转到预算"_s)));
    EXPECT_FALSE(H::hasStrongAgendaShiftCue(QString(u"嗯"_s.repeated(80) + u"下一个吧"_s)));
}

TEST(MeetingStageContinuation, AdditiveScoreOnTitlePairs) {
    const struct {
        const char16_t *candidate;
        const char16_t *current;
        int textModules;
        const char16_t *window;
        bool mustDecide;
        bool continues;
        const char *why;
    } cases[] = {
        {u"产品规划补充", u"产品规划", 3, u"", false, true, "containment, stem, cue"},
        {u"预算评审", u"上线排期", 3, u"", false, false, "nothing shared: score 0"},
        {u"上线灰度期", u"上线准备期", 2, u"", false, true, "similarity 0.6 and a small stage"},
        {u"上线灰度期", u"上线准备期", 3, u"", false, false, "similarity 0.6 alone is 1"},
        {u"上线灰度期", u"上线准备期", 3, u"", true, false, "must-decide changes nothing"},
        {u"产品规划 ", u"产品规划", 1, u"", false, false, "equal once normalised"},
        {u"API设计", u"api 设计", 1, u"", false, false, "equal ignoring case"},
        {u"规划", u"产品路线规划", 2, u"", false, false, "two characters earn no containment"},
        {u"预算同步", u"上线排期", 2, u"", false, true, "follow-up cue and a small stage"},
        {u"预算同步", u"上线排期", 2, u"好，下一个吧，说预算", false, false, "agenda shift"},
        {u"产品规划补充", u"产品规划", 3, u"下一个吧", false, true, "strong signals outweigh"},
        {u"产品规划", u"", 0, u"", false, false, "no current stage"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(H::shouldPreferCurrentStageTitle(QString::fromUtf16(c.candidate),
                                                   QString::fromUtf16(c.current), c.textModules,
                                                   QString::fromUtf16(c.window), c.mustDecide),
                  c.continues)
            << c.why;
    }
}

} // namespace
} // namespace tovalit
