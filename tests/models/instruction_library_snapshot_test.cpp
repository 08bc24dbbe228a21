#include "models/instruction_library_catalog.h"
#include "models/instruction_library_decoding_error.h"
#include "models/instruction_library_snapshot.h"
#include "support/json_text.h"
#include "tests/models/instruction_test_entries.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using testing::instruction;
using Problem = InstructionLibraryDecodingError::Problem;

const InstructionLibraryBuiltinTemplatePack &currentPack() {
    return InstructionLibraryCatalog::defaultBuiltinTemplatePack();
}

const QList<InstructionLibraryEntry> &customEntries() {
    static const QList<InstructionLibraryEntry> entries{
        instruction({.title = u"周报整理"_s, .updatedMinute = 5}),
        instruction({.title = u"Release notes"_s, .phrases = {u"写发布说明"_s}})};
    return entries;
}

// Built-ins of an older or newer release: same shape, other content.
const QList<InstructionLibraryEntry> &otherBuiltins() {
    static const QList<InstructionLibraryEntry> entries{instruction(
        {.title = u"旧的内置指令"_s, .source = InstructionLibraryEntrySource::builtin})};
    return entries;
}

QJsonArray jsonArray(const QList<InstructionLibraryEntry> &entries) {
    QJsonArray array;
    for (const InstructionLibraryEntry &entry : entries)
        array.append(entry.toJson());
    return array;
}

TEST(InstructionLibrarySnapshotTest, ReconcilingTakesThePackOnlyForMissingOrOlderBuiltins) {
    struct Case {
        const char *name;
        qint64 version;
        QList<InstructionLibraryEntry> builtins;
        bool takesPack;
    };
    const Case cases[] = {
        {"older version", 2, otherBuiltins(), true},
        {"version zero", 0, otherBuiltins(), true},
        {"no built-ins at the current version", 3, {}, true},
        {"no built-ins at a newer version", 4, {}, true},
        {"current version", 3, otherBuiltins(), false},
        {"newer version", 4, otherBuiltins(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        InstructionLibrarySnapshot snapshot{c.version, c.builtins, customEntries()};
        snapshot.reconcileBuiltinTemplatePack(currentPack());
        EXPECT_EQ(snapshot.customEntries, customEntries());
        if (c.takesPack) {
            EXPECT_EQ(snapshot.builtinTemplateVersion, 3);
            EXPECT_EQ(snapshot.builtinEntries, currentPack().entries);
        } else {
            EXPECT_EQ(snapshot.builtinTemplateVersion, c.version);
            EXPECT_EQ(snapshot.builtinEntries, c.builtins);
        }
    }

    // A later release's pack replaces the built-ins whole.
    InstructionLibrarySnapshot snapshot =
        InstructionLibraryCatalog::defaultSnapshot(customEntries());
    snapshot.reconcileBuiltinTemplatePack({4, otherBuiltins()});
    EXPECT_EQ(snapshot.builtinTemplateVersion, 4);
    EXPECT_EQ(snapshot.builtinEntries, otherBuiltins());
    EXPECT_EQ(snapshot.customEntries, customEntries());
}

TEST(InstructionLibrarySnapshotTest, DecodingToleratesMissingAndUnknownMembersAndReconciles) {
    struct Case {
        const char *name;
        QJsonObject file;
        qint64 version;
        QList<InstructionLibraryEntry> builtins;
        QList<InstructionLibraryEntry> custom;
    };
    const QList<InstructionLibraryEntry> current = currentPack().entries;
    const Case cases[] = {
        {"empty object", {}, 3, current, {}},
        {"only custom entries",
         {{u"customEntries"_s, jsonArray(customEntries())}},
         3,
         current,
         customEntries()},
        {"nulls count as missing",
         {{u"builtinTemplateVersion"_s, QJsonValue::Null},
          {u"builtinEntries"_s, QJsonValue::Null},
          {u"customEntries"_s, QJsonValue::Null}},
         3,
         current,
         {}},
        {"version 2",
         {{u"builtinTemplateVersion"_s, 2},
          {u"builtinEntries"_s, jsonArray(otherBuiltins())},
          {u"customEntries"_s, jsonArray(customEntries())}},
         3,
         current,
         customEntries()},
        {"empty built-ins",
         {{u"builtinTemplateVersion"_s, 3},
          {u"builtinEntries"_s, QJsonArray()},
          {u"customEntries"_s, jsonArray(customEntries())}},
         3,
         current,
         customEntries()},
        {"version 3 keeps its built-ins",
         {{u"builtinTemplateVersion"_s, 3}, {u"builtinEntries"_s, jsonArray(otherBuiltins())}},
         3,
         otherBuiltins(),
         {}},
        {"a newer version and members it added",
         {{u"builtinTemplateVersion"_s, 4},
          {u"builtinEntries"_s, jsonArray(otherBuiltins())},
          {u"customEntries"_s, jsonArray(customEntries())},
          {u"sharedEntries"_s, QJsonArray{u"x"_s}}},
         4,
         otherBuiltins(),
         customEntries()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const InstructionLibrarySnapshot snapshot =
            InstructionLibrarySnapshot::fromFileBytes(json::pretty(c.file));
        EXPECT_EQ(snapshot.builtinTemplateVersion, c.version);
        EXPECT_EQ(snapshot.builtinEntries, c.builtins);
        EXPECT_EQ(snapshot.customEntries, c.custom);
    }
}

TEST(InstructionLibrarySnapshotTest, OneBadEntryOrMemberFailsTheWholeFile) {
    QJsonArray custom = jsonArray(customEntries());
    QJsonObject poetry = custom[1].toObject();
    poetry.insert(u"category"_s, u"poetry"_s);
    custom.replace(1, poetry);
    QJsonArray builtins = jsonArray(currentPack().entries);
    QJsonObject noTitle = builtins[8].toObject();
    noTitle.remove(u"title"_s);
    builtins.replace(8, noTitle);

    struct Case {
        const char *name;
        QByteArray bytes;
        Problem problem;
        QString location;
    };
    const Case cases[] = {
        {"unknown category", json::pretty(QJsonObject{{u"customEntries"_s, custom}}),
         Problem::UnknownValue, u"customEntries[1].category"_s},
        {"built-in without a title",
         json::pretty(
             QJsonObject{{u"builtinTemplateVersion"_s, 3}, {u"builtinEntries"_s, builtins}}),
         Problem::Missing, u"builtinEntries[8].title"_s},
        {"entry that is not an object",
         json::pretty(QJsonObject{{u"customEntries"_s, QJsonArray{u"写周报"_s}}}),
         Problem::WrongType, u"customEntries[0]"_s},
        {"version as text", json::pretty(QJsonObject{{u"builtinTemplateVersion"_s, u"3"_s}}),
         Problem::WrongType, u"builtinTemplateVersion"_s},
        {"entries as an object", json::pretty(QJsonObject{{u"customEntries"_s, QJsonObject()}}),
         Problem::WrongType, u"customEntries"_s},
        {"an array", "[]", Problem::NotAnObject, u""_s},
        {"truncated", json::pretty(QJsonObject{{u"customEntries"_s, custom}}).left(80),
         Problem::NotAnObject, u""_s},
        {"empty file", "", Problem::NotAnObject, u""_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        try {
            InstructionLibrarySnapshot::fromFileBytes(c.bytes);
            ADD_FAILURE() << "decoded";
        } catch (const InstructionLibraryDecodingError &error) {
            EXPECT_EQ(error.problem(), c.problem);
            EXPECT_EQ(error.location(), c.location);
        }
    }
}

TEST(InstructionLibrarySnapshotTest, TheFileIsPrettyWithSortedKeysAndRoundTrips) {
    const InstructionLibrarySnapshot snapshot =
        InstructionLibraryCatalog::defaultSnapshot(customEntries());
    const QByteArray bytes = snapshot.toFileBytes();
    EXPECT_EQ(InstructionLibrarySnapshot::fromFileBytes(bytes), snapshot);

    const QString text = QString::fromUtf8(bytes);
    EXPECT_TRUE(text.startsWith(u"{\n    \"builtinEntries\": [\n"_s))
        << text.left(60).toStdString();
    const qsizetype builtins = text.indexOf(u"\n    \"builtinEntries\""_s);
    const qsizetype version = text.indexOf(u"\n    \"builtinTemplateVersion\": 3,"_s);
    const qsizetype custom = text.indexOf(u"\n    \"customEntries\""_s);
    EXPECT_TRUE(builtins >= 0 && builtins < version && version < custom);

    // Every entry's members in sorted order, dates as whole-second UTC.
    const QStringList members{u"category"_s,  u"createdAt"_s,      u"enabled"_s,
                              u"id"_s,        u"invocationHint"_s, u"invocationPhrases"_s,
                              u"maxTokens"_s, u"promptTemplate"_s, u"source"_s,
                              u"summary"_s,   u"title"_s,          u"updatedAt"_s};
    qsizetype position = text.indexOf(u"\"customEntries\""_s);
    for (const QString &member : members) {
        const qsizetype next = text.indexOf(u"            \""_s + member + u"\": "_s, position);
        EXPECT_GT(next, position) << member.toStdString();
        position = next;
    }
    EXPECT_TRUE(text.contains(u"\"createdAt\": \"0001-01-01T00:00:00Z\""_s));
    EXPECT_TRUE(text.contains(u"\"id\": \"901B3775-8DBD-4EBA-B779-CC5568B03D14\""_s));
    EXPECT_TRUE(text.contains(u"\"updatedAt\": \"2026-03-01T09:05:00Z\""_s));
    EXPECT_TRUE(text.contains(u"\"title\": \"周报整理\""_s)) << "UTF-8, not escaped";
}

} // namespace
} // namespace tovalit
