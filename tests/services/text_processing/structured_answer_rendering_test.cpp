#include "services/text_processing/vellup_structured_formatter.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using Formatter = VellupStructuredFormatter;

const QString fallback = u"原始转写"_s;

struct RenderCase {
    const char *name;
    QString answer;
    QString expected;
};

void PrintTo(const RenderCase &value, std::ostream *out) {
    *out << value.name;
}

class StructuredAnswerRenderingTest : public ::testing::TestWithParam<RenderCase> {};

TEST_P(StructuredAnswerRenderingTest, Renders) {
    EXPECT_EQ(Formatter::renderStructuredContent(GetParam().answer, fallback), GetParam().expected)
        << GetParam().answer.toStdString();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Answers, StructuredAnswerRenderingTest, ::testing::Values(
    RenderCase{"prefilled continuation without its brace", uR"("text":"你好"})"_s, u"你好"_s},
    RenderCase{"last object wins", uR"({"text":"a"}{"text":"b"})"_s, u"b"_s},
    RenderCase{"blank text is skipped", uR"({"text":"a"} {"text":"   "})"_s, u"a"_s},
    RenderCase{"think markers go, their content stays a candidate",
               uR"(<think>{"text":"y"}</think>{"text":"x"})"_s, u"x"_s},
    RenderCase{"fenced object", u"```json\n{\"text\":\"x\"}\n```"_s, u"x"_s},
    RenderCase{"braces inside strings", uR"({"text":"a}b"})"_s, u"a}b"_s},
    RenderCase{"escaped quote inside a string", uR"({"text":"a\"}b"})"_s, u"a\"}b"_s},
    RenderCase{"plain prose", u"今晚开会"_s, u"今晚开会"_s},
    RenderCase{"prose in think markers keeps the thought", u"<think>想想</think>今晚开会"_s, u"想想今晚开会"_s},
    RenderCase{"fenced prose", u"```\n今晚开会\n```"_s, u"今晚开会"_s},
    RenderCase{"a fence and nothing else", u"```json"_s, fallback},
    RenderCase{"object without text", uR"({"foo":1})"_s, fallback},
    RenderCase{"text that is not a string", uR"({"text":5})"_s, fallback},
    RenderCase{"text that is an array", uR"({"text":["a"]})"_s, fallback},
    RenderCase{"nested text found by the loose reader", uR"({"data":{"text":"x"}})"_s, u"x"_s},
    RenderCase{"only blank text", uR"({"text":"  "})"_s, fallback},
    RenderCase{"top-level array", uR"(["a"])"_s, fallback},
    RenderCase{"object amid prose", uR"(好的，{"text":"x"} 以上)"_s, u"x"_s},
    RenderCase{"quoted brace before the object", uR"(他说"{" 然后 {"text":"x"})"_s, u"x"_s},
    RenderCase{"loose value escapes are resolved", uR"("text":"第一行\n第二行 \u4f60"})"_s, u"第一行\n第二行 你"_s},
    RenderCase{"loose value with a broken escape", uR"("text":"a\u12G4"})"_s, fallback},
    RenderCase{"unclosed object after a stray closing brace", uR"(} 前言 {"text":"x")"_s, u"x"_s},
    RenderCase{"answer is trimmed", u"\u3000 {\"text\":\"  你好  \"} \n"_s, u"你好"_s},
    RenderCase{"other members are ignored", uR"({"text":"x","confidence":0.9})"_s, u"x"_s}
));
// clang-format on

TEST(StructuredAnswerRendering, BlankAnswerAndBlankFallbackFail) {
    EXPECT_EQ(Formatter::renderStructuredContent(u"  ", fallback), fallback);
    EXPECT_EQ(Formatter::renderStructuredContent(u"<think></think>", u" 转写 "), u"转写"_s);
    try {
        Formatter::renderStructuredContent(u"{\"text\":\"\"}", u" \n");
        FAIL() << "expected emptyStructuredResult";
    } catch (const VellupStructuredFormatterError &error) {
        EXPECT_EQ(error.kind(), VellupStructuredFormatterError::Kind::emptyStructuredResult);
        EXPECT_EQ(error.localizedDescription(), u"整理没有产出可用文本。"_s);
    }
}

TEST(StructuredAnswerRendering, CandidatesAreTopLevelBalancedObjects) {
    using Candidates = std::vector<QString>;
    EXPECT_EQ(Formatter::extractJSONCandidates(uR"(a {"x":{"y":1}} b {"z":"}"} {"open":)"),
              (Candidates{uR"({"x":{"y":1}})"_s, uR"({"z":"}"})"_s}));
    EXPECT_EQ(Formatter::extractJSONCandidates(u"} } {\"a\":1}"), Candidates{u"{\"a\":1}"_s});
    EXPECT_EQ(Formatter::extractJSONCandidates(u"<think> </think>"), Candidates{});
    // A brace that carries a combining mark is another character.
    EXPECT_EQ(Formatter::extractJSONCandidates(u"{\u0301\"a\":1}"), Candidates{});
}

TEST(StructuredAnswerRendering, JsonTextIsCutToItsOutermostBraces) {
    EXPECT_EQ(Formatter::extractJSONText(u"```json\n{\"a\":1}\n```"), u"{\"a\":1}"_s);
    EXPECT_EQ(Formatter::extractJSONText(u"前缀 {\"text\":\"x\"} 后缀"), u"{\"text\":\"x\"}"_s);
    EXPECT_EQ(Formatter::extractJSONText(u" [1, 2] "), u"[1, 2]"_s);
    // No slice exists when the last closing brace comes first.
    EXPECT_EQ(Formatter::extractJSONText(u"} 中间 {"), u"} 中间 {"_s);
    EXPECT_EQ(Formatter::extractJSONText(u"没有括号"), u"没有括号"_s);
}

TEST(StructuredAnswerRendering, PlainTextRefusesBrokenJson) {
    EXPECT_EQ(Formatter::extractPlainTextFallback(u"<think>x</think>"), std::optional(u"x"_s));
    EXPECT_FALSE(Formatter::extractPlainTextFallback(u"{broken").has_value());
    EXPECT_FALSE(Formatter::extractPlainTextFallback(u"答案 \"text\": 5").has_value());
    EXPECT_FALSE(Formatter::extractPlainTextFallback(u"答案 \"text\" : 5").has_value());
    EXPECT_FALSE(Formatter::extractPlainTextFallback(u"```\n```").has_value());
    EXPECT_FALSE(Formatter::extractLooseTextField(u"\"text\": 5").has_value());
}

} // namespace
} // namespace tovalit
