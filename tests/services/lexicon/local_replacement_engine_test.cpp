#include "services/lexicon/local_replacement_engine.h"
#include "tests/services/lexicon/lexicon_test_entries.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

namespace E = LocalReplacementEngine;
using testing::EntrySpec;
using testing::makeEntry;
using testing::replacement;

TEST(LocalReplacementEngine, AsciiWordsMatchOnlyWholeWords) {
    struct Case {
        QString text;
        QString expected;
    };
    const Case cases[] = {
        {"use gzv now", "use GZV now"},
        {"chatgzv stays", "chatgzv stays"},
        {"gzv-4 and gzv4", "GZV-4 and gzv4"},
        {"用gzv写", "用GZV写"},
        {"Gzv, gZV.", "GZV, GZV."},
        {"ＧＺＶ is full width", "ＧＺＶ is full width"},
        {"gzv_x", "GZV_x"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(E::replacingWholeWordMatches(u"gzv", u"GZV", c.text), c.expected);
    // Case-insensitive matching also knows characters outside ASCII that
    // fold to ASCII letters, such as the Kelvin sign and ß.
    EXPECT_EQ(E::apply("use \u212Aorvctl", {replacement("korvctl", "Korvctl工具")}).text,
              "use Korvctl工具");
    EXPECT_EQ(E::apply("die straße", {replacement("strasse", "Straße路")}).text, "die Straße路");

    // Through apply(): a text that already reads right is not an applied
    // change; a pair whose sides share a key is never compiled at all.
    const auto entry = replacement("gzv", "GZV4");
    const auto applied = E::apply("use gzv now", {entry});
    EXPECT_EQ(applied.text, "use GZV4 now");
    EXPECT_EQ(applied.appliedEntries, QList<PersonalLexiconEntry>{entry});
    const auto unchanged = E::apply("use GZV4 now", {entry});
    EXPECT_EQ(unchanged.text, "use GZV4 now");
    EXPECT_TRUE(unchanged.appliedEntries.isEmpty());
    EXPECT_TRUE(E::apply("use gzv now", {replacement("gzv", "GZV")}).appliedEntries.isEmpty());

    EXPECT_TRUE(E::looksLikeASCIIWord(u"gzv4"));
    EXPECT_FALSE(E::looksLikeASCIIWord(u"gzv-4"));
    EXPECT_FALSE(E::looksLikeASCIIWord(u"café"));
    EXPECT_FALSE(E::looksLikeASCIIWord(u"orin ai"));
}

TEST(LocalReplacementEngine, TargetsAreInsertedLiterally) {
    // The validator keeps dollar signs and backslashes out of stored
    // targets, but the engine must not depend on it.
    EXPECT_EQ(E::replacingWholeWordMatches(u"usd", u"$0 \\1 $", u"cost usd here"),
              "cost $0 \\1 $ here");
    EXPECT_EQ(E::replacingWholeWordMatches(u"abc", u"$1", u"x abc y"), "x $1 y");
    EXPECT_EQ(E::replacingFoldedMatches(u"美元", u"$0\\", u"成本美元"), "成本$0\\");
}

TEST(LocalReplacementEngine, OtherSourcesMatchWithoutCaseOrDiacritics) {
    // Composed and decomposed forms alike; width is not folded.
    const QString decomposed = QString::fromUtf8("cafe\u0301");
    EXPECT_EQ(
        E::apply("cafe CAFÉ café " + decomposed + " ＣＡＦＥ", {replacement("café", "咖啡")}).text,
        "咖啡 咖啡 咖啡 咖啡 ＣＡＦＥ");
    EXPECT_EQ(
        E::apply("I like Orin AI and ORIN ai and reorin aid", {replacement("orin ai", "OrinAI")})
            .text,
        "I like OrinAI and OrinAI and reOrinAId");
    EXPECT_EQ(E::replacingFoldedMatches(u"ss", u"S", u"Straße"), "StraSe");
    EXPECT_EQ(E::replacingFoldedMatches(u"e\u0301x", u"Y", u"e\u0301\u0301x"), "Y");
    // A match never splits a character: "s" is not half of "ß".
    EXPECT_EQ(E::replacingFoldedMatches(u"s", u"z", u"ß"), "ß");
    EXPECT_EQ(E::replacingFoldedMatches(u"aa", u"b", u"aaaaa"), "bba");
    EXPECT_EQ(E::replacingFoldedMatches(u"向量", u"矢量", u"向量向量"), "矢量矢量");
}

TEST(LocalReplacementEngine, EntriesRunOnceInCompiledOrder) {
    const auto shorter = replacement("数据库", "库");
    const auto longer = replacement("向量数据库", "向量库");
    const auto result = E::apply("向量数据库", {shorter, longer});
    EXPECT_EQ(result.text, "向量库");
    ASSERT_EQ(result.appliedEntries.size(), 1);
    EXPECT_EQ(result.appliedEntries[0], longer);

    // A later entry sees what an earlier one produced; a target containing
    // its own source is not applied again to what it inserted.
    const auto first = replacement("大语言模型", "LLM模型");
    const auto second = replacement("LLM", "大模型");
    const auto chained = E::apply("大语言模型和数据", {second, first});
    EXPECT_EQ(chained.text, "大模型模型和数据");
    ASSERT_EQ(chained.appliedEntries.size(), 2);
    EXPECT_EQ(chained.appliedEntries[0].id(), first.id());
    EXPECT_EQ(chained.appliedEntries[1].id(), second.id());
    EXPECT_EQ(E::apply("k8s", {replacement("k8s", "k8s集群")}).text, "k8s集群");

    const auto absent = E::apply("nothing here", {replacement("向量", "矢量")});
    EXPECT_TRUE(absent.appliedEntries.isEmpty());
}

TEST(LocalReplacementEngine, TextsAndEntriesThatChangeNothing) {
    const QList<PersonalLexiconEntry> entries{replacement("gzv", "GZV")};
    for (const QString &blank : {QString(), QString(" \n\t"), QString("\u3000")}) {
        const auto result = E::apply(blank, entries);
        EXPECT_EQ(result.text, blank);
        EXPECT_TRUE(result.appliedEntries.isEmpty());
    }
    const auto disabled = makeEntry({.kind = PersonalLexiconEntryKind::replacement,
                                     .source = "gzv",
                                     .target = "GZV",
                                     .enabled = false});
    EXPECT_EQ(E::apply("gzv", {disabled}).text, "gzv");
    EXPECT_EQ(E::apply("OrinAI", {replacement("orinai", "OrinAI")}).text, "OrinAI");
    EXPECT_EQ(E::apply("use gzv", {}).text, "use gzv");
}

} // namespace
} // namespace tovalit
