#include "services/lexicon/personal_lexicon_compiler.h"
#include "tests/services/lexicon/lexicon_test_entries.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

namespace C = PersonalLexiconCompiler;
using testing::EntrySpec;
using testing::hotword;
using testing::makeEntry;
using testing::replacement;
using Kind = PersonalLexiconEntryKind;
using Source = PersonalLexiconEntrySource;

QStringList targets(const QList<PersonalLexiconEntry> &entries) {
    QStringList list;
    for (const auto &entry : entries)
        list.append(entry.targetText);
    return list;
}

QStringList sources(const QList<PersonalLexiconEntry> &entries) {
    QStringList list;
    for (const auto &entry : entries)
        list.append(entry.sourceText.value_or("<none>"));
    return list;
}

PersonalLexiconCloudState cloudWithTables(const QString &ns) {
    PersonalLexiconCloudState state;
    state.syncNamespace = ns;
    state.hotwordTableID = "hid-1";
    state.hotwordTableName = "tovalit-personal-hotwords-" + ns;
    state.replacementTableID = "rid-1";
    state.replacementTableName = "tovalit-personal-replacements-" + ns;
    return state;
}

TEST(PersonalLexiconCompiler, WhatTakesPartInRecognition) {
    const auto candidate =
        makeEntry({.target = "Kovarindel", .learning = Source::historyFrequency, .hits = 2});
    const auto frequent =
        makeEntry({.target = "Terraform", .learning = Source::historyFrequency, .hits = 3});
    EXPECT_EQ(targets(C::makeHotwords({candidate, frequent})), QStringList{"Terraform"});

    // The candidate wins its key and then drops out, taking the key along.
    const auto manualLower = hotword("kovarindel", 1);
    EXPECT_TRUE(C::makeHotwords({candidate, manualLower}).isEmpty());

    const auto disabled = makeEntry({.target = "Brakken", .hits = 9, .enabled = false});
    const auto enabled = hotword("brakken", 2);
    const auto kept = C::makeHotwords({disabled, enabled});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].id(), enabled.id());

    const auto hotwordOnReplace =
        makeEntry({.target = "Helm", .channel = PersonalLexiconChannel::replace});
    const auto replacementOnBoost = makeEntry({.kind = Kind::replacement,
                                               .source = "orin ai",
                                               .target = "OrinAI",
                                               .channel = PersonalLexiconChannel::boost});
    EXPECT_TRUE(C::makeHotwords({hotwordOnReplace, replacementOnBoost}).isEmpty());
    EXPECT_TRUE(C::makeReplacementEntries({hotwordOnReplace, replacementOnBoost}).isEmpty());

    // Refused terms and pairs never leave the lexicon.
    EXPECT_TRUE(C::makeHotwords({hotword("我们"), hotword("A+")}).isEmpty());
    EXPECT_TRUE(C::makeReplacementEntries({replacement("orinai", "OrinAI")}).isEmpty());
}

TEST(PersonalLexiconCompiler, CompiledOrder) {
    auto later = hotword("Beta", 3);
    later.updatedAt = later.updatedAt.addSecs(60);
    const QList<PersonalLexiconEntry> hotwords{hotword("a10", 3), hotword("Zeta", 5),
                                               hotword("a2", 3), later};
    EXPECT_EQ(targets(C::makeHotwords(hotwords)), (QStringList{"Zeta", "Beta", "a2", "a10"}));

    // Longest source first, counted in characters: "Orin AI" has 7,
    // "向量数据库" 5 (15 bytes in UTF-8).
    auto newer = replacement("模型库", "模型仓库", 2);
    newer.updatedAt = newer.updatedAt.addSecs(60);
    const QList<PersonalLexiconEntry> replacements{
        replacement("数据库", "DB"),
        replacement("向量数据库", "VectorDB"),
        replacement("Orin AI", "OrinAI"),
        replacement("大模型", "LLM", 5),
        newer,
        replacement("模型层", "模型层级", 2),
        replacement("模型集", "模型集合", 2),
    };
    EXPECT_EQ(
        sources(C::makeReplacementEntries(replacements)),
        (QStringList{"Orin AI", "向量数据库", "大模型", "模型库", "模型层", "模型集", "数据库"}));
}

TEST(PersonalLexiconCompiler, SpeechConfiguration) {
    PersonalLexiconSnapshot snapshot;
    EXPECT_FALSE(C::makeSpeechConfiguration(snapshot).has_value());
    snapshot.entries = {makeEntry({.target = "Kovarindel", .enabled = false})};
    EXPECT_FALSE(C::makeSpeechConfiguration(snapshot).has_value());

    // No table: hot words go inline, in compiled order, at most 5000.
    snapshot.entries.clear();
    for (int i = 0; i < 6000; ++i)
        snapshot.entries.append(
            hotword(QStringLiteral("term%1").arg(i, 4, 10, QChar(u'0')), i < 3 ? 10 : 1));
    auto configuration = C::makeSpeechConfiguration(snapshot);
    ASSERT_TRUE(configuration.has_value());
    EXPECT_EQ(configuration->inlineHotwords.size(), 5000);
    EXPECT_EQ(configuration->inlineHotwords.mid(0, 4),
              (QStringList{"term0000", "term0001", "term0002", "term0003"}));
    EXPECT_FALSE(configuration->boostingTableName.has_value());

    // A valid table replaces the inline list, even without a stored ID.
    snapshot.entries = {hotword("Kovarindel"), replacement("Orin AI", "OrinAI")};
    snapshot.cloudState = cloudWithTables("team42");
    configuration = C::makeSpeechConfiguration(snapshot);
    ASSERT_TRUE(configuration.has_value());
    EXPECT_EQ(configuration->boostingTableName, QString("tovalit-personal-hotwords-team42"));
    EXPECT_EQ(configuration->boostingTableID, QString("hid-1"));
    EXPECT_EQ(configuration->correctTableName, QString("tovalit-personal-replacements-team42"));
    EXPECT_EQ(configuration->correctTableID, QString("rid-1"));
    EXPECT_TRUE(configuration->inlineHotwords.isEmpty());
    snapshot.cloudState.hotwordTableID.reset();
    snapshot.cloudState.hotwordTableName = "  tovalit-personal-hotwords-team42 \n";
    configuration = C::makeSpeechConfiguration(snapshot);
    EXPECT_EQ(configuration->boostingTableName, QString("tovalit-personal-hotwords-team42"));
    EXPECT_FALSE(configuration->boostingTableID.has_value());
    EXPECT_TRUE(configuration->inlineHotwords.isEmpty());

    // A name from another namespace, or with no namespace stored, is not
    // this lexicon's table.
    snapshot.cloudState = cloudWithTables("team42");
    snapshot.cloudState.syncNamespace = "team43";
    configuration = C::makeSpeechConfiguration(snapshot);
    EXPECT_FALSE(configuration->boostingTableName.has_value());
    EXPECT_FALSE(configuration->correctTableName.has_value());
    EXPECT_EQ(configuration->inlineHotwords, QStringList{"Kovarindel"});
    snapshot.cloudState.syncNamespace.reset();
    EXPECT_FALSE(C::validatedHotwordTableName(snapshot.cloudState).has_value());

    // The correction table is named only when replacements exist, and
    // replacements alone without their table give nothing to send.
    snapshot.cloudState = cloudWithTables("team42");
    snapshot.entries = {hotword("Kovarindel")};
    EXPECT_FALSE(C::makeSpeechConfiguration(snapshot)->correctTableName.has_value());
    snapshot.cloudState.replacementTableName.reset();
    snapshot.entries = {replacement("Orin AI", "OrinAI")};
    EXPECT_FALSE(C::makeSpeechConfiguration(snapshot).has_value());
}

TEST(PersonalLexiconCompiler, UploadLines) {
    EXPECT_EQ(C::hotwordWeight(1), 4);
    EXPECT_EQ(C::hotwordWeight(7), 7);
    EXPECT_EQ(C::hotwordWeight(25), 10);

    EXPECT_EQ(C::makeHotwordFileLines({hotword("Kovarindel", 25), hotword("向量数据库")}),
              (QStringList{"Kovarindel|10", "向量数据库|4"}));
    EXPECT_EQ(C::makeReplacementFileLines({replacement("Orin AI", "OrinAI"),
                                           replacement("「向量 数据库」", "向量数据库。")}),
              (QStringList{"向量 数据库|向量数据库", "Orin AI|OrinAI"}));
}

} // namespace
} // namespace tovalit
