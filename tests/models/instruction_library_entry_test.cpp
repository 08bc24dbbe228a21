#include "models/instruction_library_decoding_error.h"
#include "models/instruction_library_entry.h"
#include "support/json_text.h"
#include "tests/models/instruction_test_entries.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using Category = InstructionLibraryCategory;
using Source = InstructionLibraryEntrySource;
using Problem = InstructionLibraryDecodingError::Problem;

const QUuid sampleId = QUuid(u"6B1F0D2E-52C1-4F4B-9D0A-3C6F2B9E1A77"_s);
const QDateTime created = QDateTime(QDate(2026, 3, 1), QTime(8, 30, 5), Qt::UTC);
const QDateTime updated = QDateTime(QDate(2026, 3, 2), QTime(23, 59, 59), Qt::UTC);

InstructionLibraryEntry entryWith(QStringList phrases, qint64 maxTokens = 900) {
    return InstructionLibraryEntry(sampleId, u"  写周报\n"_s, u"\u3000整理成周报。 "_s,
                                   u"\n你是周报助手。\n"_s, std::move(phrases),
                                   u" 写周报 + 本周完成了什么 "_s, Category::writing,
                                   Source::custom, false, maxTokens, created, updated);
}

QJsonObject storedEntry(std::initializer_list<std::pair<QString, QJsonValue>> overrides = {}) {
    QJsonObject object{
        {u"id"_s, u"6b1f0d2e-52c1-4f4b-9d0a-3c6f2b9e1a77"_s},
        {u"title"_s, u"  写周报 "_s},
        {u"summary"_s, u"整理成周报。"_s},
        {u"promptTemplate"_s, u"你是周报助手。\n"_s},
        {u"invocationPhrases"_s, QJsonArray{u"写周报"_s, u"写周报"_s, u" "_s}},
        {u"invocationHint"_s, u"写周报 + 本周完成了什么"_s},
        {u"category"_s, u"planning"_s},
        {u"source"_s, u"builtin"_s},
        {u"enabled"_s, true},
        {u"maxTokens"_s, 100},
        {u"createdAt"_s, u"2026-03-01T16:30:05+08:00"_s},
        {u"updatedAt"_s, u"2026-03-02T23:59:59Z"_s},
        {u"comment"_s, u"a member from a newer version"_s},
    };
    for (const auto &[key, value] : overrides) {
        if (value.isUndefined())
            object.remove(key);
        else
            object.insert(key, value);
    }
    return object;
}

TEST(InstructionLibraryEntryTest, MakingAnEntryTrimsTextsSanitisesPhrasesAndFloorsTokens) {
    const InstructionLibraryEntry entry =
        entryWith({u" 写周报"_s, u"写周报"_s, u"ＷＯＲＤ"_s, u"word"_s, u""_s});
    EXPECT_EQ(entry.id(), sampleId);
    EXPECT_EQ(entry.title, u"写周报"_s);
    EXPECT_EQ(entry.summary, u"整理成周报。"_s);
    EXPECT_EQ(entry.promptTemplate, u"你是周报助手。"_s);
    EXPECT_EQ(entry.invocationHint, u"写周报 + 本周完成了什么"_s);
    // The duplicate after trimming goes, "word" folds to the full-width
    // form's key, the blank one is dropped; the survivors keep their form.
    EXPECT_EQ(entry.invocationPhrases, (QStringList{u"写周报"_s, u"ＷＯＲＤ"_s}));
    EXPECT_EQ(entry.category, Category::writing);
    EXPECT_EQ(entry.source, Source::custom);
    EXPECT_FALSE(entry.enabled);
    EXPECT_EQ(entry.createdAt, created);
    EXPECT_EQ(entry.updatedAt, updated);

    struct TokenCase {
        qint64 given;
        qint64 kept;
    };
    for (const TokenCase &c : {TokenCase{100, 256}, TokenCase{-5, 256}, TokenCase{255, 256},
                               TokenCase{256, 256}, TokenCase{257, 257}, TokenCase{1200, 1200}}) {
        EXPECT_EQ(entryWith({}, c.given).maxTokens, c.kept) << c.given;
    }

    // Accents, case and the ideographic space do not make phrases distinct.
    EXPECT_EQ(
        entryWith({u"Café"_s, u"CAFE"_s, u"\u3000cafe\u3000"_s, u"Ｃａｆé"_s}).invocationPhrases,
        QStringList{u"Café"_s});
}

TEST(InstructionLibraryEntryTest, TheComparisonKeyFoldsCaseDiacriticsAndWidth) {
    struct Case {
        QString text;
        QString key;
    };
    const Case cases[] = {
        {u"  ＷＯＲＤ \n"_s, u"word"_s},
        {u"Ｃｕｒｓｏｒ指令化"_s, u"cursor指令化"_s},
        {u"Crème Brûlée"_s, u"creme brulee"_s},
        {u"\u3000翻译成英文\u3000"_s, u"翻译成英文"_s},
        {u"ﾃｽﾄ"_s, u"テスト"_s},
        {u""_s, u""_s},
    };
    for (const Case &c : cases)
        EXPECT_EQ(InstructionLibraryEntry::normalizedValue(c.text), c.key) << c.text.toStdString();
}

TEST(InstructionLibraryEntryTest, CustomEntriesDeriveTheirPhrasesAndHintFromTheTitle) {
    EXPECT_EQ(InstructionLibraryEntry::customInvocationPhrases(u" 周报整理\n"_s),
              (QStringList{u"用周报整理指令"_s, u"使用周报整理指令"_s, u"调用周报整理指令"_s}));
    EXPECT_TRUE(InstructionLibraryEntry::customInvocationPhrases(u" \u3000 "_s).isEmpty());

    const QUuid id = QUuid::createUuid();
    const InstructionLibraryEntry entry = InstructionLibraryEntry::makeCustom(
        id, u"  周报整理  "_s, u" 每周五用。 "_s, u" 请整理周报。\n"_s, Category::planning, true,
        100, created, updated);
    EXPECT_EQ(entry.id(), id);
    EXPECT_EQ(entry.title, u"周报整理"_s);
    EXPECT_EQ(entry.summary, u"每周五用。"_s);
    EXPECT_EQ(entry.promptTemplate, u"请整理周报。"_s);
    EXPECT_EQ(entry.invocationPhrases,
              (QStringList{u"用周报整理指令"_s, u"使用周报整理指令"_s, u"调用周报整理指令"_s}));
    EXPECT_EQ(entry.invocationHint, u"用周报整理指令 + 你的内容"_s);
    EXPECT_EQ(entry.category, Category::planning);
    EXPECT_EQ(entry.source, Source::custom);
    EXPECT_TRUE(entry.enabled);
    EXPECT_EQ(entry.maxTokens, 256);
    EXPECT_EQ(entry.createdAt, created);
    EXPECT_EQ(entry.updatedAt, updated);
    EXPECT_EQ(entry.normalizedLookupKey(), u"custom:周报整理"_s);

    // A blank title gives no phrases and a hint around nothing; without an
    // id or a creation time the entry gets a fresh id and "now".
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const InstructionLibraryEntry blank =
        InstructionLibraryEntry::makeCustom(std::nullopt, u"   "_s, u""_s, u"p"_s,
                                            Category::writing, false, 900, std::nullopt, updated);
    EXPECT_EQ(blank.title, u""_s);
    EXPECT_TRUE(blank.invocationPhrases.isEmpty());
    EXPECT_TRUE(blank.displayInvocationPhrases().isEmpty());
    EXPECT_EQ(blank.invocationHint, u"用指令 + 你的内容"_s);
    EXPECT_FALSE(blank.id().isNull());
    EXPECT_NE(blank.id(),
              InstructionLibraryEntry::makeCustom(std::nullopt, u"x"_s, {}, {}, Category::writing,
                                                  true, 900, std::nullopt, updated)
                  .id());
    EXPECT_GE(blank.createdAt, before);
    EXPECT_LE(blank.createdAt, QDateTime::currentDateTimeUtc());
}

TEST(InstructionLibraryEntryTest, DisplayPhrasesAndLookupKeys) {
    InstructionLibraryEntry entry = testing::instruction({.title = u"Ｗｅｅｋｌｙ 周报"_s});
    // Stored phrases are what speech matches; without any, the title's.
    EXPECT_EQ(entry.displayInvocationPhrases(),
              (QStringList{u"用Ｗｅｅｋｌｙ 周报指令"_s, u"使用Ｗｅｅｋｌｙ 周报指令"_s,
                           u"调用Ｗｅｅｋｌｙ 周报指令"_s}));
    entry.invocationPhrases = {u"周报"_s};
    EXPECT_EQ(entry.displayInvocationPhrases(), QStringList{u"周报"_s});

    EXPECT_EQ(entry.normalizedLookupKey(), u"custom:weekly 周报"_s);
    const InstructionLibraryEntry builtin =
        testing::instruction({.title = u" weekly 周报"_s, .source = Source::builtin});
    EXPECT_EQ(builtin.normalizedLookupKey(), u"builtin:weekly 周报"_s);
}

TEST(InstructionLibraryEntryTest, EnumerationsHaveTheirRawValuesAndNames) {
    struct CategoryCase {
        Category value;
        QString raw;
        QString display;
    };
    const CategoryCase categories[] = {
        {Category::writing, u"writing"_s, u"写作"_s},
        {Category::rewrite, u"rewrite"_s, u"改写"_s},
        {Category::planning, u"planning"_s, u"整理"_s},
        {Category::prompt, u"prompt"_s, u"Prompt"_s},
    };
    ASSERT_EQ(std::size(allInstructionLibraryCategories), std::size(categories));
    for (size_t i = 0; i < std::size(categories); ++i) {
        const CategoryCase &c = categories[i];
        EXPECT_EQ(allInstructionLibraryCategories[i], c.value);
        EXPECT_EQ(rawValue(c.value), c.raw);
        EXPECT_EQ(displayName(c.value), c.display);
        Category parsed = Category::writing;
        EXPECT_TRUE(fromRawValue(c.raw, parsed));
        EXPECT_EQ(parsed, c.value);
    }
    EXPECT_EQ(rawValue(Source::builtin), u"builtin"_s);
    EXPECT_EQ(rawValue(Source::custom), u"custom"_s);
    EXPECT_EQ(displayName(Source::builtin), u"内置指令"_s);
    EXPECT_EQ(displayName(Source::custom), u"我的指令"_s);

    Category untouched = Category::rewrite;
    for (const QString &raw : {u"Writing"_s, u" writing"_s, u""_s, u"poetry"_s})
        EXPECT_FALSE(fromRawValue(raw, untouched)) << raw.toStdString();
    EXPECT_EQ(untouched, Category::rewrite);
}

TEST(InstructionLibraryEntryTest, EncodesTwelveMembersAndDecodesThemExactlyAsStored) {
    const InstructionLibraryEntry entry = entryWith({u"写周报"_s, u"周报"_s});
    const QJsonObject json = entry.toJson();
    EXPECT_EQ(json, (QJsonObject{
                        {u"id"_s, u"6B1F0D2E-52C1-4F4B-9D0A-3C6F2B9E1A77"_s},
                        {u"title"_s, u"写周报"_s},
                        {u"summary"_s, u"整理成周报。"_s},
                        {u"promptTemplate"_s, u"你是周报助手。"_s},
                        {u"invocationPhrases"_s, QJsonArray{u"写周报"_s, u"周报"_s}},
                        {u"invocationHint"_s, u"写周报 + 本周完成了什么"_s},
                        {u"category"_s, u"writing"_s},
                        {u"source"_s, u"custom"_s},
                        {u"enabled"_s, false},
                        {u"maxTokens"_s, 900},
                        {u"createdAt"_s, u"2026-03-01T08:30:05Z"_s},
                        {u"updatedAt"_s, u"2026-03-02T23:59:59Z"_s},
                    }));
    EXPECT_EQ(InstructionLibraryEntry::fromJson(json), entry);

    // A hand-edited entry reads back as written: no trimming, no phrase
    // clean-up, no token floor; an unknown member is ignored.
    const InstructionLibraryEntry stored = InstructionLibraryEntry::fromJson(storedEntry());
    EXPECT_EQ(stored.id(), sampleId);
    EXPECT_EQ(stored.title, u"  写周报 "_s);
    EXPECT_EQ(stored.promptTemplate, u"你是周报助手。\n"_s);
    EXPECT_EQ(stored.invocationPhrases, (QStringList{u"写周报"_s, u"写周报"_s, u" "_s}));
    EXPECT_EQ(stored.category, Category::planning);
    EXPECT_EQ(stored.source, Source::builtin);
    EXPECT_TRUE(stored.enabled);
    EXPECT_EQ(stored.maxTokens, 100);
    EXPECT_EQ(stored.createdAt, created);
    EXPECT_EQ(stored.toJson()[u"createdAt"_s], u"2026-03-01T08:30:05Z"_s);
}

TEST(InstructionLibraryEntryTest, AMalformedEntryNamesTheMemberAtFault) {
    struct Case {
        const char *name;
        std::pair<QString, QJsonValue> change;
        Problem problem;
        QString location;
    };
    const QJsonValue missing(QJsonValue::Undefined);
    const Case cases[] = {
        {"no id", {u"id"_s, missing}, Problem::Missing, u"id"_s},
        {"null title", {u"title"_s, QJsonValue::Null}, Problem::Missing, u"title"_s},
        {"no summary", {u"summary"_s, missing}, Problem::Missing, u"summary"_s},
        {"no prompt", {u"promptTemplate"_s, missing}, Problem::Missing, u"promptTemplate"_s},
        {"no phrases", {u"invocationPhrases"_s, missing}, Problem::Missing, u"invocationPhrases"_s},
        {"no hint", {u"invocationHint"_s, missing}, Problem::Missing, u"invocationHint"_s},
        {"no category", {u"category"_s, missing}, Problem::Missing, u"category"_s},
        {"no source", {u"source"_s, missing}, Problem::Missing, u"source"_s},
        {"no switch", {u"enabled"_s, missing}, Problem::Missing, u"enabled"_s},
        {"no tokens", {u"maxTokens"_s, missing}, Problem::Missing, u"maxTokens"_s},
        {"no creation", {u"createdAt"_s, missing}, Problem::Missing, u"createdAt"_s},
        {"no update", {u"updatedAt"_s, missing}, Problem::Missing, u"updatedAt"_s},
        {"numeric title", {u"title"_s, 7}, Problem::WrongType, u"title"_s},
        {"phrase list of a string",
         {u"invocationPhrases"_s, u"写周报"_s},
         Problem::WrongType,
         u"invocationPhrases"_s},
        {"numeric phrase",
         {u"invocationPhrases"_s, QJsonArray{u"a"_s, 1}},
         Problem::WrongType,
         u"invocationPhrases[1]"_s},
        {"switch as text", {u"enabled"_s, u"true"_s}, Problem::WrongType, u"enabled"_s},
        {"fractional tokens", {u"maxTokens"_s, 900.5}, Problem::WrongType, u"maxTokens"_s},
        {"tokens as text", {u"maxTokens"_s, u"900"_s}, Problem::WrongType, u"maxTokens"_s},
        {"capitalised category",
         {u"category"_s, u"Writing"_s},
         Problem::UnknownValue,
         u"category"_s},
        {"unknown source", {u"source"_s, u"shared"_s}, Problem::UnknownValue, u"source"_s},
        {"braced id",
         {u"id"_s, u"{6B1F0D2E-52C1-4F4B-9D0A-3C6F2B9E1A77}"_s},
         Problem::InvalidUuid,
         u"id"_s},
        {"fractional seconds",
         {u"createdAt"_s, u"2026-03-01T08:30:05.250Z"_s},
         Problem::InvalidDate,
         u"createdAt"_s},
        {"no time zone",
         {u"updatedAt"_s, u"2026-03-01T08:30:05"_s},
         Problem::InvalidDate,
         u"updatedAt"_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        try {
            InstructionLibraryEntry::fromJson(storedEntry({c.change}));
            ADD_FAILURE() << "decoded";
        } catch (const InstructionLibraryDecodingError &error) {
            EXPECT_EQ(error.problem(), c.problem);
            EXPECT_EQ(error.location(), c.location);
            EXPECT_TRUE(error.localizedDescription().startsWith(u"指令库文件格式不正确："_s));
            EXPECT_TRUE(error.localizedDescription().contains(c.location));
        }
    }
}

} // namespace
} // namespace tovalit
