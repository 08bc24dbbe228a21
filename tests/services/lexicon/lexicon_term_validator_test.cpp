#include "services/lexicon/lexicon_term_validator.h"
#include "tests/services/lexicon/lexicon_test_entries.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

namespace V = LexiconTermValidator;

std::string show(const std::optional<QString> &value) {
    return value ? "\"" + value->toStdString() + "\"" : "absent";
}

struct TermCase {
    QString term;
    std::optional<QString> expected;
};

void expectVerdicts(const char *rule, std::optional<QString> (*check)(QStringView),
                    const std::vector<TermCase> &cases) {
    for (const TermCase &c : cases) {
        EXPECT_EQ(show(check(c.term)), show(c.expected))
            << rule << "(\"" << c.term.toStdString() << "\")";
    }
}

const std::optional<QString> refused;

TEST(LexiconTermValidator, CloudCompatibleHotword) {
    expectVerdicts("cloudCompatibleHotword", V::cloudCompatibleHotword,
                   {
                       {"  Kovarindel  ", "Kovarindel"},
                       {"a", refused},
                       {"量", "量"},
                       {"foo bar", refused},
                       {"A+", refused},
                       {"GZV-4", refused},
                       {"我们", refused},
                       {"Type", refused}, // its key is a stop term
                       {"这个方案", refused},
                       {"产品的功能", refused},
                       {"功能", "功能"},
                       {"ab|cd", refused},
                       {QString(24, u'x'), QString(24, u'x')},
                       {QString(25, u'x'), refused},
                       // 24 Chinese characters are 24, not 72 bytes.
                       {QString(24, u'库'), QString(24, u'库')},
                       {"１２３", "１２３"},
                       {"一二三", "一二三"},
                       {"\t\n", refused},
                   });
}

TEST(LexiconTermValidator, SanitizeAutoLearnedTerm) {
    expectVerdicts("sanitizeAutoLearnedTerm", V::sanitizeAutoLearnedTerm,
                   {
                       {"「向量数据库。」", "向量数据库"},
                       {"machine   learning", "machine learning"},
                       {"machine deep learning", refused},
                       {"a|b", refused},
                       {"hello, world", refused},
                       {"  …GZV！ ", "GZV"},
                       {QString(24, u'词'), QString(24, u'词')},
                       {QString(25, u'词'), refused},
                       {"“" + QString(25, u'词') + "”", refused},
                       {"然后", refused},
                       {"A+", refused}, // "+" is a symbol, not trimmed punctuation
                       {"。，", refused},
                   });
}

TEST(LexiconTermValidator, Shareability) {
    struct Case {
        QString term;
        bool strict;
        bool loose;
    };
    const Case cases[] = {
        {"iKestrel", true, true},
        {"gzv4", true, true},
        {"zorva", false, true},
        {"zep", false, false},
        {"about", false, false},
        {"123", false, false},
        {"１２３", false, false},
        {"一二三", false, false},
        {"12３４", false, false},
        {"向量数据库", true, true},
        {"高高兴兴", false, false},
        {"行不行", false, false},
        {"很好", false, false},
        {"吃了吗", false, false},
        {"一言不发", false, false},
        {"好不好", true, true},
        {"K8s集群", true, true},
        {"量", false, false},
        {QString(13, u'词'), false, false},
        {"", false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(V::isShareableHotword(c.term, false), c.strict) << c.term.toStdString();
        EXPECT_EQ(V::isShareableHotword(c.term, true), c.loose) << c.term.toStdString();
    }

    EXPECT_EQ(show(V::sharedGlossaryEligibleHotword(u" zorva ")), show(QString("zorva")));
    EXPECT_EQ(show(V::sharedGlossaryEligibleHotword(u"zep")), show(refused));
    EXPECT_EQ(show(V::sharedGlossaryEligibleHotword(u"一二三")), show(refused));
}

TEST(LexiconTermValidator, HistoryLearnableHotword) {
    expectVerdicts("historyLearnableHotword", V::historyLearnableHotword,
                   {
                       {"方案", refused},
                       {"续航", refused},
                       {"machine learning", refused},
                       {"zorva", refused},
                       {"Kovarindel", "Kovarindel"},
                       {"向量数据库", "向量数据库"},
                       {"【向量数据库】", "向量数据库"},
                   });
}

TEST(LexiconTermValidator, ContextualPhrasesAndCharacterPatterns) {
    EXPECT_TRUE(V::looksLikeContextualPhrase(u"这个方案"));
    EXPECT_TRUE(V::looksLikeContextualPhrase(u"产品的功能"));
    EXPECT_TRUE(V::looksLikeContextualPhrase(u"  检索相关的"));
    EXPECT_FALSE(V::looksLikeContextualPhrase(u"功能"));
    EXPECT_FALSE(V::looksLikeContextualPhrase(u"的方案x"));
    EXPECT_FALSE(V::looksLikeContextualPhrase(u" "));

    EXPECT_TRUE(V::hasRepeatedFourCharacterPattern(u"高高兴兴"));
    EXPECT_FALSE(V::hasRepeatedFourCharacterPattern(u"高兴高兴"));
    EXPECT_FALSE(V::hasRepeatedFourCharacterPattern(u"高高兴兴兴"));
    // Characters, not code units: an accented letter is one character.
    EXPECT_TRUE(V::hasRepeatedFourCharacterPattern(QString::fromUtf8("e\u0301e\u0301aa")));

    // A prefix test sees characters too: 很 carrying a combining mark is
    // another character.
    EXPECT_FALSE(V::isShareableChineseTerm(u"很好"));
    EXPECT_TRUE(V::isShareableChineseTerm(QString::fromUtf8("很\u0301好")));

    EXPECT_TRUE(V::containsPunctuationOrSymbols(u"a_b"));
    EXPECT_TRUE(V::containsPunctuationOrSymbols(u"100°"));
    EXPECT_TRUE(V::containsPunctuationOrSymbols(u"你好，"));
    EXPECT_FALSE(V::containsPunctuationOrSymbols(u"K8s集群"));
    EXPECT_TRUE(V::isWordLikeToken(u" Ⅻ万 "));
    EXPECT_FALSE(V::isWordLikeToken(u"ab cd"));
}

TEST(LexiconTermValidator, ReplacementPairs) {
    const auto orinAi = V::cloudCompatibleReplacementPair(u"Orin AI", u"OrinAI");
    ASSERT_TRUE(orinAi.has_value());
    EXPECT_EQ(orinAi->source, "Orin AI");
    EXPECT_EQ(orinAi->target, "OrinAI");
    EXPECT_FALSE(V::cloudCompatibleReplacementPair(u"orinai", u"OrinAI").has_value());
    EXPECT_FALSE(V::cloudCompatibleReplacementPair(u"ＯｒｉｎＡＩ", u"orinai").has_value())
        << "width does not make a different key";
    EXPECT_FALSE(V::cloudCompatibleReplacementPair(u"", u"OrinAI").has_value());

    EXPECT_TRUE(V::cloudCompatibleReplacementPair(u"GZV 模型", u"GZV模型").has_value());
    EXPECT_FALSE(V::isAutoLearnableReplacementPair(u"GZV 模型", u"GZV模型"));
    EXPECT_TRUE(V::isAutoLearnableReplacementPair(u"Orin AI", u"OrinAI"));
    EXPECT_FALSE(V::isAutoLearnableReplacementPair(u"这个模型", u"GZV模型"));
    EXPECT_FALSE(V::isAutoLearnableReplacementPair(u"orinai", u"OrinAI"));
}

} // namespace
} // namespace tovalit
