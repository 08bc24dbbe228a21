#include "services/learning/lexicon_learning_ai_analysis.h"
#include "tests/support/qt_printers.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Kind = LexiconLearningCandidateKind;

std::optional<LexiconLearningAIAnalysis> decode(const char *json) {
    return LexiconLearningAIAnalysis::decode(QByteArray(json));
}

LexiconLearningAICandidate candidate(Kind kind, std::optional<QString> source, QString target,
                                     bool shareable = false,
                                     std::optional<double> confidence = std::nullopt,
                                     std::optional<QString> reason = std::nullopt) {
    return LexiconLearningAICandidate{kind,      std::move(source), std::move(target),
                                      shareable, std::move(reason), confidence};
}

TEST(LexiconLearningAIAnalysis, DecodesStrictlyAsAWhole) {
    struct Case {
        const char *name;
        const char *json;
        bool decodes;
    };
    const Case cases[] = {
        {"complete",
         R"({"shouldLearn":true,"summary":"s","candidates":[{"kind":"replacement","sourceText":"SU","targetText":"SEO","shareable":false,"reason":"r","confidence":0.93}]})",
         true},
        {"empty candidates", R"({"shouldLearn":false,"candidates":[]})", true},
        {"null optionals",
         R"({"shouldLearn":true,"summary":null,"candidates":[{"kind":"hotword","sourceText":null,"targetText":"A","shareable":true,"reason":null,"confidence":null}]})",
         true},
        {"integer confidence",
         R"({"shouldLearn":true,"candidates":[{"kind":"hotword","targetText":"A","shareable":true,"confidence":1}]})",
         true},
        {"unknown members ignored",
         R"({"shouldLearn":true,"extra":[1],"candidates":[{"kind":"hotword","targetText":"A","shareable":true,"note":"x"}]})",
         true},
        {"candidates missing", R"({"shouldLearn":true})", false},
        {"shouldLearn missing", R"({"candidates":[]})", false},
        {"shareable as text",
         R"({"shouldLearn":true,"candidates":[{"kind":"hotword","targetText":"A","shareable":"true"}]})",
         false},
        {"confidence as text",
         R"({"shouldLearn":true,"candidates":[{"kind":"hotword","targetText":"A","shareable":true,"confidence":"0.9"}]})",
         false},
        {"null target",
         R"({"shouldLearn":true,"candidates":[{"kind":"hotword","targetText":null,"shareable":true}]})",
         false},
        {"capitalised kind",
         R"({"shouldLearn":true,"candidates":[{"kind":"Hotword","targetText":"A","shareable":true}]})",
         false},
        {"other kind",
         R"({"shouldLearn":true,"candidates":[{"kind":"phrase","targetText":"A","shareable":true}]})",
         false},
        {"one bad of two",
         R"({"shouldLearn":true,"candidates":[{"kind":"hotword","targetText":"A","shareable":true},{"kind":"hotword","shareable":true}]})",
         false},
        {"candidate not an object", R"({"shouldLearn":true,"candidates":["A"]})", false},
        {"array at the top", R"([{"shouldLearn":true,"candidates":[]}])", false},
        {"not JSON", R"({"shouldLearn":true,"candidates":[],})", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decode(c.json).has_value(), c.decodes) << c.name;

    const auto complete = decode(cases[0].json);
    ASSERT_TRUE(complete);
    EXPECT_EQ(*complete,
              (LexiconLearningAIAnalysis{
                  true,
                  QStringLiteral("s"),
                  {candidate(Kind::replacement, QStringLiteral("SU"), QStringLiteral("SEO"), false,
                             0.93, QStringLiteral("r"))}}));
    const auto nulls = decode(cases[2].json);
    ASSERT_TRUE(nulls);
    EXPECT_EQ(nulls->summary, std::nullopt);
    EXPECT_EQ(nulls->candidates.at(0),
              candidate(Kind::hotword, std::nullopt, QStringLiteral("A"), true));
    EXPECT_EQ(decode(cases[3].json)->candidates.at(0).confidence, 1.0);
}

TEST(LexiconLearningAIAnalysis, EncodingLeavesOutAbsentOptionalsAndRoundTrips) {
    const auto bare = candidate(Kind::hotword, std::nullopt, QStringLiteral("Tovalit"), true);
    EXPECT_EQ(QJsonDocument(bare.toJson()).toJson(QJsonDocument::Compact),
              R"({"kind":"hotword","shareable":true,"targetText":"Tovalit"})");

    const LexiconLearningAIAnalysis analysis{
        true,
        QStringLiteral("一句总结"),
        {bare, candidate(Kind::replacement, QStringLiteral("飞数"), QStringLiteral("飞书"), false,
                         0.8, QStringLiteral("专有名词"))}};
    EXPECT_EQ(LexiconLearningAIAnalysis::decode(
                  QJsonDocument(analysis.toJson()).toJson(QJsonDocument::Compact)),
              analysis);
}

TEST(LexiconLearningAIAnalysis, NormalizedCandidatesTrimDropAndDeduplicate) {
    struct Case {
        const char *name;
        QList<LexiconLearningAICandidate> candidates;
        QList<LexiconLearningAICandidate> expected;
    };
    const QString a = QStringLiteral("Tovalit");
    const Case cases[] = {
        {"texts and reason trimmed",
         {candidate(Kind::replacement, QStringLiteral(" 托瓦利特\n"), QStringLiteral("\tTovalit "),
                    true, 0.9, QStringLiteral("  因为 "))},
         {candidate(Kind::replacement, QStringLiteral("托瓦利特"), a, true, 0.9,
                    QStringLiteral("因为"))}},
        {"blank target dropped",
         {candidate(Kind::hotword, std::nullopt, QStringLiteral("  "))},
         {}},
        {"confidence boundary",
         {candidate(Kind::hotword, std::nullopt, QStringLiteral("A64"), false, 0.64),
          candidate(Kind::hotword, std::nullopt, QStringLiteral("A65"), false, 0.65),
          candidate(Kind::hotword, std::nullopt, QStringLiteral("A1"), false, 1.0),
          candidate(Kind::hotword, std::nullopt, QStringLiteral("None"))},
         {candidate(Kind::hotword, std::nullopt, QStringLiteral("A65"), false, 0.65),
          candidate(Kind::hotword, std::nullopt, QStringLiteral("A1"), false, 1.0),
          candidate(Kind::hotword, std::nullopt, QStringLiteral("None"))}},
        {"reason and confidence take no part in the key",
         {candidate(Kind::hotword, std::nullopt, a, true, 0.7, QStringLiteral("first")),
          candidate(Kind::hotword, std::nullopt, a, true, 0.99, QStringLiteral("second"))},
         {candidate(Kind::hotword, std::nullopt, a, true, 0.7, QStringLiteral("first"))}},
        {"absent source first",
         {candidate(Kind::replacement, std::nullopt, a),
          candidate(Kind::replacement, QStringLiteral(" "), a)},
         {candidate(Kind::replacement, std::nullopt, a)}},
        {"blank source first becomes empty",
         {candidate(Kind::replacement, QStringLiteral(" "), a),
          candidate(Kind::replacement, std::nullopt, a)},
         {candidate(Kind::replacement, QString(), a)}},
        {"kind and sharing are part of the key",
         {candidate(Kind::hotword, std::nullopt, a, true),
          candidate(Kind::hotword, std::nullopt, a, false),
          candidate(Kind::replacement, std::nullopt, a, true)},
         {candidate(Kind::hotword, std::nullopt, a, true),
          candidate(Kind::hotword, std::nullopt, a, false),
          candidate(Kind::replacement, std::nullopt, a, true)}},
    };
    for (const Case &c : cases) {
        const LexiconLearningAIAnalysis analysis{true, std::nullopt, c.candidates};
        EXPECT_EQ(analysis.normalizedCandidates(), c.expected) << c.name;
    }
}

} // namespace
} // namespace tovalit
