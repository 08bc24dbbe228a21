#include "services/text_processing/natural_mode_prompt_catalog.h"
#include "services/text_processing/natural_mode_stage.h"
#include "services/text_processing/structured_formatting_task.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
namespace Catalog = NaturalModePromptCatalog;

struct CheckCase {
    const char *name;
    QString text;
    bool expected;
};

void PrintTo(const CheckCase &value, std::ostream *out) {
    *out << value.name;
}

class ListDictationTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ListDictationTest, Detects) {
    EXPECT_EQ(Catalog::looksLikeListDictation(GetParam().text), GetParam().expected)
        << GetParam().text.toStdString();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Examples, ListDictationTest, ::testing::Values(
    CheckCase{"two ordinal markers", u"第一买牛奶第二买面包"_s, true},
    CheckCase{"one digit marker and a sequence word", u"1. 买牛奶 然后买面包"_s, true},
    CheckCase{"sequence words alone", u"首先买牛奶然后买面包"_s, false},
    CheckCase{"a year is not a marker", u"2024年"_s, false},
    CheckCase{"two topic markers", u"一是价格二是渠道"_s, true},
    CheckCase{"enumeration comma markers", u"1、买牛奶 2、买面包"_s, true},
    CheckCase{"one marker without sequence word", u"1. 买牛奶"_s, false},
    CheckCase{"digit before the marker digit", u"12.买牛奶 然后买面包"_s, false},
    CheckCase{"full-width digits are no marker", u"１.买牛奶 然后买面包"_s, false},
    CheckCase{"full-width digit before counts as a digit", u"１1.买牛奶 然后买面包"_s, false},
    CheckCase{"zero is no marker", u"0.买牛奶 然后买面包"_s, false},
    CheckCase{"blank", u" \u3000\n"_s, false}
));

class DisallowedHeadingTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(DisallowedHeadingTest, Detects) {
    EXPECT_EQ(Catalog::containsDisallowedTemplateHeading(GetParam().text), GetParam().expected)
        << GetParam().text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Examples, DisallowedHeadingTest, ::testing::Values(
    CheckCase{"markdown heading", u"## 总结"_s, true},
    CheckCase{"English heading with colon", u"Summary:"_s, true},
    CheckCase{"heading with full-width colon", u"待办：买牛奶"_s, true},
    CheckCase{"heading word inside a sentence", u"总结一下我们的结论"_s, false},
    CheckCase{"heading on a later line", u"好的，我来整理。\n  ### 要点\n价格偏高"_s, true},
    CheckCase{"case is ignored", u"ACCEPTANCE CRITERIA："_s, true},
    CheckCase{"heading word followed by more text", u"Context matters here"_s, false},
    CheckCase{"empty", u""_s, false}
));
// clang-format on

TEST(NaturalModeChecks, OverStructuredOnlyInEditorsAndChats) {
    const QString original = u"帮我把这个函数改成异步的"_s;
    const QString twoBullets = u"- 改成异步\n- 加上超时"_s;

    EXPECT_FALSE(Catalog::isOverStructuredForNaturalMode(original, twoBullets, u"notes"));
    EXPECT_FALSE(Catalog::isOverStructuredForNaturalMode(original, twoBullets, u""));
    EXPECT_FALSE(Catalog::isOverStructuredForNaturalMode(original, twoBullets, u"Corvix"));
    EXPECT_TRUE(Catalog::isOverStructuredForNaturalMode(original, twoBullets, u"cursor"));
    EXPECT_TRUE(Catalog::isOverStructuredForNaturalMode(original, twoBullets, u"ai_chat"));
    EXPECT_TRUE(Catalog::isOverStructuredForNaturalMode(original, u"1. 改成异步\n2. 加上超时"_s,
                                                        u"cursor"));

    // List lines and template fields are counted apart.
    EXPECT_FALSE(
        Catalog::isOverStructuredForNaturalMode(original, u"- 改成异步\n目标：更快"_s, u"cursor"));
    EXPECT_TRUE(Catalog::isOverStructuredForNaturalMode(
        original, u"Context: 旧代码\ntodo：改成异步"_s, u"cursor"));

    // A dictated list may come back as a list.
    EXPECT_FALSE(Catalog::isOverStructuredForNaturalMode(u"第一改成异步第二加上超时"_s, twoBullets,
                                                         u"cursor"));
    EXPECT_FALSE(Catalog::isOverStructuredForNaturalMode(u"  "_s, twoBullets, u"cursor"));
    EXPECT_FALSE(Catalog::isOverStructuredForNaturalMode(original, u"\n"_s, u"cursor"));
}

TEST(NaturalModeStage, ResolvesByDurationThenByListShape) {
    EXPECT_EQ(NaturalModeStage::resolve(10.0, u"帮我看一下"), NaturalModeStage::shortCleanup);
    EXPECT_EQ(NaturalModeStage::resolve(10.001, u"帮我看一下"), NaturalModeStage::mediumCleanup);
    EXPECT_EQ(NaturalModeStage::resolve(3.0, u"第一买牛奶第二买面包"),
              NaturalModeStage::mediumCleanup);
    EXPECT_EQ(NaturalModeStage::resolve(3.0, u"首先买牛奶然后买面包"),
              NaturalModeStage::shortCleanup);

    for (const auto value : NaturalModeStage::allCases()) {
        const NaturalModeStage stage(value);
        EXPECT_EQ(NaturalModeStage::fromRawValue(stage.rawValue()), stage);
    }
    EXPECT_FALSE(NaturalModeStage::fromRawValue(u"ShortCleanup").has_value());
    EXPECT_EQ(NaturalModeStage(NaturalModeStage::shortCleanup).label(), u"自然直出"_s);
    EXPECT_EQ(NaturalModeStage(NaturalModeStage::mediumCleanup).label(), u"轻整理"_s);
}

TEST(StructuredFormattingTask, EqualityFollowsCaseAndPayload) {
    NaturalFormattingContext context;
    context.appProfileID = u"cursor"_s;
    NaturalFormattingContext other = context;
    other.windowTitle = u"main.cpp"_s;

    using Task = StructuredFormattingTask;
    EXPECT_EQ(Task::natural(NaturalModeStage::shortCleanup, std::nullopt),
              Task::natural(NaturalModeStage::shortCleanup, std::nullopt));
    EXPECT_EQ(Task::natural(NaturalModeStage::shortCleanup, context),
              Task::natural(NaturalModeStage::shortCleanup, context));
    EXPECT_NE(Task::natural(NaturalModeStage::shortCleanup, context),
              Task::natural(NaturalModeStage::shortCleanup, other));
    EXPECT_NE(Task::natural(NaturalModeStage::shortCleanup, context),
              Task::natural(NaturalModeStage::shortCleanup, std::nullopt));
    EXPECT_NE(Task::natural(NaturalModeStage::shortCleanup, std::nullopt),
              Task::natural(NaturalModeStage::mediumCleanup, std::nullopt));

    Task::MeetingIncremental tick;
    tick.tickIndex = 3;
    tick.speakerHints = {u"甲"_s};
    Task::MeetingIncremental laterTick = tick;
    laterTick.mustLandStage = true;
    EXPECT_EQ(Task::meetingIncremental(tick), Task::meetingIncremental(tick));
    EXPECT_NE(Task::meetingIncremental(tick), Task::meetingIncremental(laterTick));
    EXPECT_NE(Task::meetingFinal(), Task::natural(NaturalModeStage::shortCleanup, std::nullopt));
}

TEST(NaturalModePrompts, ChosenByTaskAndCarryTheirFixedTexts) {
    using Task = StructuredFormattingTask;
    const QString shortPrompt =
        Catalog::systemPrompt(Task::natural(NaturalModeStage::shortCleanup, std::nullopt));
    const QString mediumPrompt =
        Catalog::systemPrompt(Task::natural(NaturalModeStage::mediumCleanup, std::nullopt));
    const QString tickPrompt = Catalog::systemPrompt(Task::meetingIncremental({}));
    const QString minutesPrompt = Catalog::systemPrompt(Task::meetingFinal());

    EXPECT_EQ(Catalog::systemPrompt(
                  Task::natural(NaturalModeStage::shortCleanup, NaturalFormattingContext{})),
              shortPrompt);
    // The prompts are fixed texts; a digest each keeps any edit deliberate.
    const auto digest = [](const QString &text) {
        return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .toStdString();
    };
    EXPECT_EQ(digest(shortPrompt),
              "343827eb01a6747611d0aace9cdc71975e1687e38cec1f083495055a53f9cb7c");
    EXPECT_EQ(digest(mediumPrompt),
              "62941846f727c30dda21cb55142198c4de446bbf06bde4c59215663c6fa8937a");
    EXPECT_EQ(digest(tickPrompt),
              "53be2a771443fba7d52c702ff76613dc09df05f25b7ec1f5556d66c567806492");
    EXPECT_EQ(digest(minutesPrompt),
              "5092db8df36572992f7412362156d0ea54ccaa54356d3288c72654eb5c865f0e");
    EXPECT_TRUE(shortPrompt.startsWith(u"你是 Tovalit 的自然模式助手。"_s));
    EXPECT_NE(shortPrompt, mediumPrompt);

    // The natural prompts name the twenty user-content members in order.
    const QStringList members =
        u"transcript app_name bundle_id brand_key app_profile_id app_category audience_hint "
        u"output_intent style_guide terminology_hints template_hints screenshot_ocr selected_text "
        u"surrounding_text_before_cursor surrounding_text_after_cursor focused_element_role "
        u"focused_element_description caret_rect caret_area_ocr window_title"_s.split(u' ');
    ASSERT_EQ(members.size(), 20);
    for (const QString &prompt : {shortPrompt, mediumPrompt}) {
        qsizetype position = 0;
        for (const QString &member : members) {
            const qsizetype found = prompt.indexOf(member, position);
            ASSERT_GE(found, 0) << member.toStdString();
            position = found + member.size();
        }
    }

    // The tick prompt defines the tree text that meeting mode parses.
    for (const QString &fixed :
         {u"[阶段] 阶段标题"_s, u"[文本模块] 模块标题 => 解读正文"_s,
          u"[图文模块] 模版类型|图文模块标题 => 子项1标题::子项1说明 || 子项2标题::子项2说明"_s,
          u"{\"text\":\"[不新增]\"}"_s, u"流程板"_s, u"多卡片"_s, u"标签条"_s, u"前后对比"_s,
          u"证据注释"_s, u"决策日志"_s, u"层级图"_s, u"历史时间带"_s, u"must_land_stage"_s,
          u"current_stage_text_module_count"_s, u"speaker_hints"_s, u"current_window"_s,
          u"[图文模块] 多卡片|代理角色认知 => 人::负责提出需求与判断结果 || "
          u"程序::负责执行检索与工具调用 || 模型::负责组织回答与生成内容"_s}) {
        EXPECT_TRUE(tickPrompt.contains(fixed)) << fixed.toStdString();
    }
    EXPECT_EQ(tickPrompt.count(u"{\"text\":\"[阶段]"_s), 7);
    EXPECT_TRUE(minutesPrompt.contains(u"- [ ] 内容（负责人，截止时间）"_s));
    EXPECT_TRUE(minutesPrompt.contains(u"会议概览、关键讨论、结论与决策、待办事项、待确认"_s));
}

} // namespace
} // namespace tovalit
