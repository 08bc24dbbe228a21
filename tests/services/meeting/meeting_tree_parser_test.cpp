#include "services/meeting/meeting_tree_parser.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace meetingtest;
using namespace MeetingTreeParser;
using Kind = MeetingVisualModuleKind;

TEST(MeetingTreeParser, ReadsTheExampleAnswerOfTheSummaryPrompt) {
    const auto drafts = parseMeetingStageDrafts({
        u"[阶段] 上网能力缺口与程序代理"_s,
        u"[文本模块] 痛点转移 => 讨论从对话连续性转向信息获取能力，因为模型即使能继续聊，也仍然缺乏独立查资料的能力。"_s,
        u"[文本模块] 代理意义 => 让程序代替人工去搜索和回填信息，真正解决的不是联网本身，而是把人工协助包装成稳定的系统能力。"_s,
        u"[图文模块] 多卡片|代理角色认知 => 人::负责提出需求与判断结果 || 程序::负责执行检索与工具调用 || 模型::负责组织回答与生成内容"_s,
    });
    ASSERT_EQ(drafts.size(), 1);
    const auto &stage = drafts[0];
    EXPECT_EQ(u8(stage.title), "上网能力缺口与程序代理");
    EXPECT_EQ(titles(stage.textModules), (std::vector<std::string>{"痛点转移", "代理意义"}));
    EXPECT_EQ(u8(stage.textModules[1].body), "让程序代替人工去搜索和回填信息，真正解决的不是联网本"
                                             "身，而是把人工协助包装成稳定的系统能力。");
    ASSERT_EQ(stage.visualModules.size(), 1);
    const auto &board = stage.visualModules[0];
    EXPECT_EQ(u8(board.title), "代理角色认知");
    // "判断" in an item body is a risk cue: three items make a decision log.
    EXPECT_EQ(board.kind, Kind::decision);
    EXPECT_EQ(titles(board.items), (std::vector<std::string>{"人", "程序", "模型"}));
    EXPECT_EQ(u8(board.items[2].body), "负责组织回答与生成内容");
}

TEST(MeetingTreeParser, LinesThatFitNoFormAreSkipped) {
    const auto drafts = parseMeetingStageDrafts({
        u"[文本模块] 孤立 => 在任何阶段之前"_s,
        u"[阶段] 只有图文"_s,
        u"[图文模块] 多卡片|看板 => 甲 || 乙"_s,
        u"[阶段] 预算 [阶段] 评审"_s,
        u"[不新增]"_s,
        u"说明文字"_s,
        u"[阶段]"_s, // an empty stage line opens nothing
        u"[文本] 背景 => 预算收紧"_s,
        u"[文本模块] 人手"_s,
        u"[文本模块] 目标 =>"_s,
        u"[图文] 流程板| => A"_s,
        u"[图文] 甲::乙 || 丙"_s,
    });
    ASSERT_EQ(drafts.size(), 1);
    EXPECT_EQ(u8(drafts[0].title), "预算  评审");
    EXPECT_EQ(titles(drafts[0].textModules), (std::vector<std::string>{"背景", "阶段解读 2"}));
    EXPECT_EQ(u8(drafts[0].textModules[1].body), "人手");
    ASSERT_EQ(drafts[0].visualModules.size(), 1);
    EXPECT_EQ(u8(drafts[0].visualModules[0].title), "结构线索");
    EXPECT_EQ(drafts[0].visualModules[0].kind, Kind::cards);
    EXPECT_EQ(bodies(drafts[0].visualModules[0].items), (std::vector<std::string>{"乙", ""}));

    EXPECT_TRUE(parseMeetingStageDrafts({u"[阶段] 只有图文"_s, u"[图文] 甲 || 乙"_s}).isEmpty());
}

TEST(MeetingTreeParser, TextModuleSeparators) {
    const struct {
        QString text;
        const char *title;
        const char *body;
    } cases[] = {
        {u"时间: 10:30 开会"_s, "时间", "10:30 开会"},
        {u"时间：上午 => 10:30 开会"_s, "时间：上午", "10:30 开会"}, // "=>" goes first
        {u"风险：交付延期"_s, "风险", "交付延期"},
        {u" 背景 "_s, "阶段解读 4", "背景"},
    };
    for (const auto &c : cases) {
        const auto module = parseMeetingTextModule(c.text, 4);
        ASSERT_TRUE(module) << c.title;
        EXPECT_EQ(u8(module->title), c.title);
        EXPECT_EQ(u8(module->body), c.body);
    }
    for (const QString &text : {u"目标 =>"_s, u"=> 正文"_s, u"：正文"_s, u"标题:"_s, u"  "_s})
        EXPECT_FALSE(parseMeetingTextModule(text, 1)) << u8(text);
}

TEST(MeetingTreeParser, VisualHeadersItemsAndKinds) {
    const auto unknownKind = parseMeetingVisualModule(u"未知名|方案 => A || B"_s);
    ASSERT_TRUE(unknownKind);
    EXPECT_EQ(u8(unknownKind->title), "方案");
    EXPECT_EQ(unknownKind->kind, Kind::chips); // inferred from the title and two bare items

    const auto synonym =
        parseMeetingVisualModule(u" Process | 发布步骤 => 甲::先 || 乙::后 || 丙::再"_s);
    ASSERT_TRUE(synonym);
    EXPECT_EQ(synonym->kind, Kind::process);
    EXPECT_EQ(u8(synonym->title), "发布步骤");

    const auto header = parseMeetingVisualModuleHeader(u"层级图 "_s);
    EXPECT_FALSE(header.first); // a bare header is a title
    EXPECT_EQ(u8(header.second), "层级图");

    const auto withColons = parseMeetingVisualItem(u"时间::10:30::会议室"_s);
    ASSERT_TRUE(withColons);
    EXPECT_EQ(u8(withColons->title), "时间");
    EXPECT_EQ(u8(withColons->body), "10:30::会议室");
    EXPECT_FALSE(parseMeetingVisualItem(u"::说明"_s));
    EXPECT_FALSE(parseMeetingVisualModule(u"多卡片|看板 => || ::x"_s));
}

TEST(MeetingTreeParser, ChoosingTheDraftThatContinuesTheCurrentStage) {
    const auto drafts = parseMeetingStageDrafts({
        u"[阶段] 上线排期"_s,
        u"[文本模块] 节奏 => 先内测"_s,
        u"[阶段] 预算评审"_s,
        u"[文本模块] 额度 => 收紧"_s,
    });
    ASSERT_EQ(drafts.size(), 2);
    const auto title = [&](const QString &current) {
        const auto chosen = selectMeetingStageDraft(drafts, current, 3, u""_s);
        return chosen ? u8(chosen->title) : std::string("<none>");
    };
    EXPECT_EQ(title(u" 上线排期 "_s), "上线排期"); // the exact title, found from the end
    EXPECT_EQ(title(u""_s), "上线排期");           // no current stage: the first
    EXPECT_EQ(title(u"人员招聘"_s), "预算评审");   // nothing continues it: the last
    EXPECT_EQ(title(u"上线排期同步"_s), "上线排期");

    EXPECT_FALSE(selectMeetingStageDraft({}, u"上线排期"_s, 3, u""_s));
}

} // namespace
} // namespace tovalit
