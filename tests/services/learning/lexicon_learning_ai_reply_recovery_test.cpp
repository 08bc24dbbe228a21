#include "services/learning/lexicon_learning_ai_service.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Service = LexiconLearningAIService;
using namespace Qt::StringLiterals;

// The first gathered text that decodes, as the analysis tries them.
std::optional<qsizetype> firstDecodingIndex(const QStringList &candidates) {
    for (qsizetype index = 0; index < candidates.size(); ++index) {
        if (Service::tryDecodeAnalysis(candidates.at(index)))
            return index;
    }
    return std::nullopt;
}

TEST(LexiconLearningAIReplyRecovery, EnvelopesAreStrippedAsTheirMarksSay) {
    const struct {
        QString text;
        QString normalized;
    } cases[] = {
        {u"\uFEFF  {\"a\":1}\n"_s, u"{\"a\":1}"_s},
        {u"<think>想一想</think>\n{\"a\":1}"_s, u"想一想\n{\"a\":1}"_s},
        {u"```json\n{\"a\":1}\n```"_s, u"{\"a\":1}"_s},
        {u"```\n{\"a\":1}```"_s, u"{\"a\":1}"_s},
        // Only the lower-case word goes with the fence.
        {u"```JSON\n{\"a\":1}\n```"_s, u"JSON\n{\"a\":1}"_s},
        // Fences are stripped once at the start and once at the end of the
        // whole text, not per line.
        {u"说明：\n```json\n{}\n```\n后记"_s, u"说明：\n```json\n{}\n```\n后记"_s},
        {u"   "_s, QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Service::normalizedJSONEnvelopeText(c.text), c.normalized)
            << c.text.toStdString();
}

TEST(LexiconLearningAIReplyRecovery, ExtractingCuttingAndCommaRemoval) {
    EXPECT_EQ(Service::extractJSONText(u"好的：{\"a\":{\"b\":1}} 完毕"_s), u"{\"a\":{\"b\":1}}"_s);
    EXPECT_EQ(Service::extractJSONText(u"[1,2] 之后 {"_s), u"[1,2] 之后 {"_s);
    EXPECT_EQ(Service::extractJSONText(u"列表：[1,2]。"_s), u"[1,2]"_s);
    EXPECT_EQ(Service::extractJSONText(u"没有 JSON"_s), u"没有 JSON"_s);
    // A closing brace before the first opening one defines no stretch.
    EXPECT_EQ(Service::extractJSONText(u"a } b { c"_s), u"a } b { c"_s);
    // A brace carrying a combining mark is another character.
    EXPECT_EQ(Service::extractJSONText(u"x {\u0301 {\"a\":1} y"_s), u"{\"a\":1}"_s);

    EXPECT_EQ(Service::removeTrailingCommas(u"{\"a\":[1,2,\n ],\"b\":3 , }"_s),
              u"{\"a\":[1,2\n ],\"b\":3  }"_s);
    // The rule knows no strings.
    EXPECT_EQ(Service::removeTrailingCommas(u"{\"a\":\",]\"}"_s), u"{\"a\":\"]\"}"_s);
}

TEST(LexiconLearningAIReplyRecovery, ObjectScanAndBalancerFollowStringsAndEscapes) {
    EXPECT_EQ(
        Service::extractJSONCandidates(u"} {\"a\":\"}\"} 中间 {\"b\":{\"c\":\"\\\"{\"}} {\"d\""_s),
        (QStringList{u"{\"a\":\"}\"}"_s, u"{\"b\":{\"c\":\"\\\"{\"}}"_s}));
    EXPECT_EQ(Service::extractJSONCandidates(u"   "_s), QStringList());

    const struct {
        QString text;
        std::optional<QString> balanced;
    } cases[] = {
        {u"  {\"a\":[{\"b\":1} "_s, u"{\"a\":[{\"b\":1}]}"_s},
        {u"{\"a\":1}"_s, u"{\"a\":1}"_s},
        {u"} ] {\"a\":[1"_s, u"} ] {\"a\":[1]}"_s},
        {u"{\"a\":\"[{\""_s, u"{\"a\":\"[{\"}"_s},
        // An unterminated string stays unterminated.
        {u"{\"a\":\"b"_s, u"{\"a\":\"b}"_s},
        {u" \n"_s, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Service::balanceJSONObjectCandidate(c.text), c.balanced) << c.text.toStdString();

    EXPECT_TRUE(Service::looksLikeSeededRootObjectRemainder(u" \"summary\": \"x\"}"_s));
    EXPECT_FALSE(Service::looksLikeSeededRootObjectRemainder(u"{\"summary\": \"x\"}"_s));
    EXPECT_FALSE(Service::looksLikeSeededRootObjectRemainder(u"[\"candidates\"]"_s));
    EXPECT_FALSE(Service::looksLikeSeededRootObjectRemainder(u"summary: x"_s));
}

TEST(LexiconLearningAIReplyRecovery, RepairsComeInTheirOrderWithRepeatsKept) {
    EXPECT_EQ(Service::repairedJSONCandidates(u"\"shouldLearn\":true,\"candidates\":[1,"_s),
              (QStringList{
                  u"\"shouldLearn\":true,\"candidates\":[1,"_s,
                  u"\"shouldLearn\":true,\"candidates\":[1,"_s,
                  u"\"shouldLearn\":true,\"candidates\":[1,]"_s,
                  u"\"shouldLearn\":true,\"candidates\":[1]"_s,
                  u"{\"shouldLearn\":true,\"candidates\":[1,"_s,
                  u"{\"shouldLearn\":true,\"candidates\":[1,"_s,
                  u"{\"shouldLearn\":true,\"candidates\":[1,]}"_s,
                  u"{\"shouldLearn\":true,\"candidates\":[1]}"_s,
              }));
    EXPECT_EQ(Service::repairedJSONCandidates(u"  "_s), QStringList());
}

TEST(LexiconLearningAIReplyRecovery, AnswersOfTheModelDecodeFromTheirCandidates) {
    struct Case {
        const char *name;
        QString content;
        QStringList expectedCandidates; // empty: not checked
        std::optional<qsizetype> decodesAt;
        bool shouldLearn = false;
    };
    const Case cases[] = {
        {"continuation of the prefilled brace",
         u"\"shouldLearn\": false, \"summary\": \"无需学习\", \"candidates\": []}"_s,
         {u"\"shouldLearn\": false, \"summary\": \"无需学习\", \"candidates\": []}"_s, u"[]"_s,
          u"{\"shouldLearn\": false, \"summary\": \"无需学习\", \"candidates\": []}"_s},
         2},
        {"fenced with a trailing comma",
         u"```json\n{\"shouldLearn\": true, \"candidates\": [{\"kind\": \"hotword\", "
         u"\"targetText\": \"Tovalit\", \"shareable\": true},]}\n```"_s,
         {},
         0,
         true},
        {"thinking first and cut off after the first candidate",
         u"<think>用户把 SU 改成了 SEO</think>{\"shouldLearn\": true, \"candidates\": "
         u"[{\"kind\": \"replacement\", \"sourceText\": \"SU\", \"targetText\": \"SEO\", "
         u"\"shareable\": false}"_s,
         {},
         std::nullopt,
         true},
        {"no brace and no bracket", u"我无法判断。"_s, {u"我无法判断。"_s}, std::nullopt},
        {"object among words, a brace inside a string",
         u"结果如下 {\"shouldLearn\": true, \"summary\": \"说 \\\"{\\\" 的人\", \"candidates\": []} 谢谢"_s,
         {u"结果如下 {\"shouldLearn\": true, \"summary\": \"说 \\\"{\\\" 的人\", \"candidates\": []} 谢谢"_s,
          u"{\"shouldLearn\": true, \"summary\": \"说 \\\"{\\\" 的人\", \"candidates\": []}"_s,
          u"{结果如下 {\"shouldLearn\": true, \"summary\": \"说 \\\"{\\\" 的人\", \"candidates\": []} 谢谢"_s,
          u"{结果如下 {\"shouldLearn\": true, \"summary\": \"说 \\\"{\\\" 的人\", \"candidates\": []} 谢谢}"_s},
         0,
         true},
    };
    for (const Case &c : cases) {
        const QStringList candidates = Service::analysisJSONCandidates(c.content);
        if (!c.expectedCandidates.isEmpty()) {
            EXPECT_EQ(candidates, c.expectedCandidates) << c.name;
        }
        const auto index = firstDecodingIndex(candidates);
        if (c.decodesAt) {
            EXPECT_EQ(index, c.decodesAt) << c.name;
        } else if (c.expectedCandidates.size() == 1) {
            EXPECT_EQ(index, std::nullopt) << c.name;
        } else {
            ASSERT_TRUE(index) << c.name;
        }
        if (index) {
            EXPECT_EQ(Service::tryDecodeAnalysis(candidates.at(*index))->shouldLearn, c.shouldLearn)
                << c.name;
        }
    }

    // The cut-off answer decodes through its balanced form: "]" then "}".
    const QStringList cut = Service::analysisJSONCandidates(cases[2].content);
    const qsizetype index = *firstDecodingIndex(cut);
    EXPECT_TRUE(cut.at(index).endsWith(u"\"shareable\": false}]}"_s))
        << cut.at(index).toStdString();

    // Two objects in a row are two candidates, each balanced on its own.
    EXPECT_EQ(Service::analysisJSONCandidates(u"{\"a\":1} {\"b\":[2"_s),
              (QStringList{u"{\"a\":1} {\"b\":[2"_s, u"{\"a\":1}"_s, u"{\"a\":1} {\"b\":[2]}"_s}));
}

} // namespace
} // namespace tovalit
