#include "models/instruction_library_catalog.h"
#include "models/instruction_library_decoding_error.h"
#include "services/instructions/instruction_library_store.h"
#include "support/data_folder.h"
#include "support/json_text.h"
#include "tests/models/instruction_test_entries.h"
#include "tests/support/clock_advancing_sleeper.h"
#include "tests/support/file_contents.h"
#include "tests/support/run_task.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::entriesOf;
using testing::readFile;
using testing::writeFile;
using namespace Qt::StringLiterals;
using testing::instruction;
using testing::runTask;
using testing::WithTemporaryUserFolders;

const QList<InstructionLibraryEntry> &customEntries() {
    static const QList<InstructionLibraryEntry> entries{
        instruction({.title = u"周报整理"_s, .updatedMinute = 5}),
        instruction({.title = u"发布说明"_s, .phrases = {u"写发布说明"_s}, .enabled = false})};
    return entries;
}

// A library as an older release wrote it: its own built-ins, version 1.
const QByteArray &olderFile() {
    static const QByteArray bytes = [] {
        QJsonArray builtins{
            instruction({.title = u"旧内置"_s, .source = InstructionLibraryEntrySource::builtin})
                .toJson()};
        QJsonArray custom;
        for (const InstructionLibraryEntry &entry : customEntries())
            custom.append(entry.toJson());
        return json::pretty(QJsonObject{{u"builtinTemplateVersion"_s, 1},
                                        {u"builtinEntries"_s, builtins},
                                        {u"customEntries"_s, custom}});
    }();
    return bytes;
}

class InstructionLibraryStoreTest : public WithTemporaryUserFolders {
protected:
    QString libraryPath() const { return folders.dataFolder() + u"/instruction-library.json"_s; }
};

// A hand edit while we run: saved as a new file renamed over the library,
// or written into it.
void editByHand(bool byRename, const QString &path, const QByteArray &bytes) {
    if (!byRename) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
        return;
    }
    writeFile(path + u".swp"_s, bytes);
    ASSERT_EQ(std::rename(QFile::encodeName(path + u".swp"_s).constData(),
                          QFile::encodeName(path).constData()),
              0);
}

TEST_F(InstructionLibraryStoreTest, AHandEditIsKeptUnderTheNextSaveAndOneBothChangedIsKeptBeside) {
    using SetAside = InstructionLibraryStore::SetAsideFile;
    for (const bool byRename : {true, false}) {
        SCOPED_TRACE(byRename ? "renamed over" : "written in place");
        QDir(folders.dataFolder()).removeRecursively();
        writeFile(libraryPath(),
                  InstructionLibraryCatalog::defaultSnapshot(customEntries()).toFileBytes());
        InstructionLibraryStore store;
        const InstructionLibrarySnapshot loaded = runTask(store.loadSnapshot());

        // Summaries edited by hand, of a custom entry and of a built-in.
        InstructionLibrarySnapshot theirs = loaded;
        theirs.customEntries[0].summary = u"手改的说明。"_s;
        theirs.builtinEntries[2].summary = u"手改的内置说明。"_s;
        editByHand(byRename, libraryPath(), theirs.toFileBytes());

        // The window adds an instruction to the library it loaded.
        InstructionLibrarySnapshot ours = loaded;
        ours.customEntries.append(instruction({.title = u"会议纪要"_s}));
        const InstructionLibrarySnapshot saved = runTask(store.saveSnapshot(ours));

        InstructionLibrarySnapshot expected = theirs;
        expected.customEntries.append(ours.customEntries.last());
        EXPECT_EQ(InstructionLibrarySnapshot::fromFileBytes(readFile(libraryPath())), expected);
        EXPECT_EQ(saved, expected) << "the caller is given what the file holds";
        EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{u"instruction-library.json"_s});
        EXPECT_TRUE(store.takeSetAsideFiles().isEmpty());

        // Both change the same entry: ours is saved, theirs kept beside.
        theirs = saved;
        theirs.customEntries[1].summary = u"又手改了。"_s;
        editByHand(byRename, libraryPath(), theirs.toFileBytes());
        ours = saved;
        ours.customEntries[1].title = u"发布公告"_s;
        runTask(store.saveSnapshot(ours));
        EXPECT_EQ(InstructionLibrarySnapshot::fromFileBytes(readFile(libraryPath())), ours);
        const QStringList files = entriesOf(folders.dataFolder());
        ASSERT_EQ(files.size(), 2) << files.join(u", "_s).toStdString();
        EXPECT_TRUE(QRegularExpression(u"^instruction-library\\.json\\.conflict-\\d{8}T\\d{6}Z$"_s)
                        .match(files[1])
                        .hasMatch())
            << files[1].toStdString();
        const QString copy = folders.dataFolder() + u'/' + files[1];
        EXPECT_EQ(readFile(copy), theirs.toFileBytes());
        EXPECT_EQ(store.takeSetAsideFiles(), (QList<SetAside>{{SetAside::Why::conflict, copy}}));
    }
}

TEST_F(InstructionLibraryStoreTest, ASaveWaitsForAFileBeingRewrittenInPlaceAndGoesOnTopOfIt) {
    testing::ClockAdvancingSleeper time;
    writeFile(libraryPath(),
              InstructionLibraryCatalog::defaultSnapshot(customEntries()).toFileBytes());
    InstructionLibraryStore store(std::nullopt, time.sleeper(), time.clock());
    const InstructionLibrarySnapshot loaded = runTask(store.loadSnapshot());

    // Another program rewrites the file in place with a summary edited: a
    // third of it is written when the window saves, the rest a second later.
    InstructionLibrarySnapshot theirs = loaded;
    theirs.customEntries[0].summary = u"手改的说明。"_s;
    const QByteArray whole = theirs.toFileBytes();
    editByHand(false, libraryPath(), whole.left(whole.size() / 3));
    const QDateTime start = time.now();
    time.atEachWait([&] {
        if (start.msecsTo(time.now()) >= 1000 && readFile(libraryPath()) != whole)
            editByHand(false, libraryPath(), whole);
    });
    InstructionLibrarySnapshot ours = loaded;
    ours.customEntries.append(instruction({.title = u"会议纪要"_s}));
    runTask(store.saveSnapshot(ours));

    InstructionLibrarySnapshot expected = theirs;
    expected.customEntries.append(ours.customEntries.last());
    EXPECT_EQ(InstructionLibrarySnapshot::fromFileBytes(readFile(libraryPath())), expected);
    EXPECT_EQ(time.waits(), (std::vector<double>{0.5, 1.0}));
    EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{u"instruction-library.json"_s});
    EXPECT_TRUE(store.takeSetAsideFiles().isEmpty());
}

TEST_F(InstructionLibraryStoreTest, WithoutAFileTheBuiltinsLoadAndNothingIsWritten) {
    InstructionLibraryStore store;
    const InstructionLibrarySnapshot loaded = runTask(store.loadSnapshot());
    EXPECT_EQ(loaded, InstructionLibraryCatalog::defaultSnapshot({}));
    EXPECT_EQ(loaded.builtinTemplateVersion, 3);
    EXPECT_EQ(loaded.builtinEntries.size(), 14);
    EXPECT_TRUE(loaded.customEntries.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(libraryPath()));

    const InstructionLibrarySnapshot snapshot =
        InstructionLibraryCatalog::defaultSnapshot(customEntries());
    EXPECT_EQ(runTask(store.saveSnapshot(snapshot)), snapshot);
    EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{u"instruction-library.json"_s})
        << "written in place, nothing left over";
    EXPECT_EQ(readFile(libraryPath()), snapshot.toFileBytes());
    EXPECT_TRUE(readFile(libraryPath()).startsWith("{\n    \"builtinEntries\": [\n"));
    EXPECT_EQ(runTask(store.loadSnapshot()), snapshot);
}

TEST_F(InstructionLibraryStoreTest, OldLibrariesLoadWithCurrentBuiltinsAndAreSavedSo) {
    writeFile(libraryPath(), olderFile());
    InstructionLibraryStore store;
    const InstructionLibrarySnapshot loaded = runTask(store.loadSnapshot());
    EXPECT_EQ(loaded, InstructionLibraryCatalog::defaultSnapshot(customEntries()));
    EXPECT_EQ(readFile(libraryPath()), olderFile()) << "a load never writes";

    runTask(store.saveSnapshot(loaded));
    const QJsonObject saved = json::parseObject(readFile(libraryPath())).value();
    EXPECT_EQ(saved[u"builtinTemplateVersion"_s], 3);
    EXPECT_EQ(saved[u"builtinEntries"_s].toArray().size(), 14);

    // A snapshot without built-ins is saved, and returned, with the pack's.
    const InstructionLibrarySnapshot bare{3, {}, customEntries()};
    EXPECT_EQ(runTask(store.saveSnapshot(bare)),
              InstructionLibraryCatalog::defaultSnapshot(customEntries()));
    EXPECT_EQ(readFile(libraryPath()),
              InstructionLibraryCatalog::defaultSnapshot(customEntries()).toFileBytes());
}

TEST_F(InstructionLibraryStoreTest, AnUnreadableFileIsReportedLeftAloneAndSetAsideBeforeASave) {
    QJsonObject newer = InstructionLibraryCatalog::defaultSnapshot(customEntries()).toJson();
    QJsonArray newerCustom = newer[u"customEntries"_s].toArray();
    QJsonObject research = newerCustom[0].toObject();
    research.insert(u"category"_s, u"research"_s);
    newerCustom.replace(0, research);
    newer.insert(u"customEntries"_s, newerCustom);
    const QByteArray newerCategory = json::pretty(newer);
    struct Case {
        const char *name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"not JSON", "instructions: none"},
        {"empty file", QByteArray()},
        {"truncated", olderFile().left(120)},
        {"category from a newer version", newerCategory},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folders.dataFolder()).removeRecursively();
        writeFile(libraryPath(), c.bytes);
        InstructionLibraryStore store;
        EXPECT_THROW(runTask(store.loadSnapshot()), AppError);
        EXPECT_EQ(readFile(libraryPath()), c.bytes) << "a failed load changes nothing";

        const InstructionLibrarySnapshot snapshot =
            InstructionLibraryCatalog::defaultSnapshot(customEntries());
        runTask(store.saveSnapshot(snapshot));
        const QStringList files = entriesOf(folders.dataFolder());
        ASSERT_EQ(files.size(), 2) << files.join(u", "_s).toStdString();
        EXPECT_EQ(files[0], u"instruction-library.json"_s);
        EXPECT_TRUE(
            QRegularExpression(u"^instruction-library\\.json\\.unreadable-\\d{8}T\\d{6}Z$"_s)
                .match(files[1])
                .hasMatch())
            << files[1].toStdString();
        EXPECT_EQ(readFile(folders.dataFolder() + u'/' + files[1]), c.bytes);
        EXPECT_EQ(runTask(store.loadSnapshot()), snapshot);
    }

    // The category is named in what the user is told.
    QDir(folders.dataFolder()).removeRecursively();
    writeFile(libraryPath(), newerCategory);
    InstructionLibraryStore store;
    try {
        runTask(store.loadSnapshot());
        ADD_FAILURE() << "loaded";
    } catch (const InstructionLibraryDecodingError &error) {
        EXPECT_EQ(
            error.localizedDescription(),
            u"指令库文件格式不正确：字段 customEntries[0].category 的取值“research”无法识别"_s);
    }

    // A file someone else rewrote after this store wrote it is checked
    // again; a readable one is simply replaced.
    runTask(store.saveSnapshot(InstructionLibraryCatalog::defaultSnapshot({})));
    writeFile(libraryPath(), "[]");
    runTask(store.saveSnapshot(InstructionLibraryCatalog::defaultSnapshot({})));
    EXPECT_EQ(entriesOf(folders.dataFolder()).size(), 3);
    runTask(store.saveSnapshot(InstructionLibraryCatalog::defaultSnapshot(customEntries())));
    EXPECT_EQ(entriesOf(folders.dataFolder()).size(), 3);
}

TEST_F(InstructionLibraryStoreTest, ASaveReplacesTheFileWholeSoReadersSeeOldOrNew) {
    InstructionLibraryStore store;
    const InstructionLibrarySnapshot first = InstructionLibraryCatalog::defaultSnapshot({});
    const InstructionLibrarySnapshot second =
        InstructionLibraryCatalog::defaultSnapshot(customEntries());
    runTask(store.saveSnapshot(first));

    QFile reader(libraryPath());
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    runTask(store.saveSnapshot(second));
    // The open file is the old one, untouched; the path names the new one.
    EXPECT_EQ(reader.readAll(), first.toFileBytes());
    EXPECT_EQ(readFile(libraryPath()), second.toFileBytes());
    EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{u"instruction-library.json"_s});
}

TEST_F(InstructionLibraryStoreTest, ALinkWhoseFileWasRemovedElsewhereLoadsTheBuiltinsAndSaves) {
    const QString synced = folders.dataHome() + u"/synced"_s;
    const QString target = synced + u"/instruction-library.json"_s;
    ASSERT_TRUE(QDir().mkpath(synced));
    ASSERT_TRUE(QDir().mkpath(folders.dataFolder()));
    ASSERT_TRUE(QFile::link(target, libraryPath()));
    InstructionLibraryStore store;
    EXPECT_EQ(runTask(store.loadSnapshot()), InstructionLibraryCatalog::defaultSnapshot({}));

    const InstructionLibrarySnapshot snapshot =
        InstructionLibraryCatalog::defaultSnapshot(customEntries());
    runTask(store.saveSnapshot(snapshot));
    EXPECT_TRUE(QFileInfo(libraryPath()).isSymLink());
    EXPECT_EQ(readFile(target), snapshot.toFileBytes());
    EXPECT_EQ(entriesOf(synced), QStringList{u"instruction-library.json"_s});
}

TEST_F(InstructionLibraryStoreTest, ABaseFolderIsUsedAsIsAndCreatedOnlyBySaving) {
    writeFile(folders.dataHome() + u"/Quendor/instruction-library.json"_s, olderFile());
    QTemporaryDir root;
    const QString base = root.path() + u"/nested/library"_s;
    InstructionLibraryStore store(base);
    EXPECT_EQ(runTask(store.loadSnapshot()), InstructionLibraryCatalog::defaultSnapshot({}));
    EXPECT_FALSE(QFileInfo::exists(base));

    const InstructionLibrarySnapshot snapshot =
        InstructionLibraryCatalog::defaultSnapshot(customEntries());
    runTask(store.saveSnapshot(snapshot));
    EXPECT_EQ(readFile(base + u"/instruction-library.json"_s), snapshot.toFileBytes());
    EXPECT_EQ(entriesOf(folders.dataHome()), QStringList{u"Quendor"_s}) << "data folder untouched";
}

TEST_F(InstructionLibraryStoreTest, TheFirstFormerDataFolderIsMovedIntoPlace) {
    writeFile(folders.dataHome() + u"/Quendor/instruction-library.json"_s, olderFile());
    writeFile(folders.dataHome() + u"/VellupTranscriber/instruction-library.json"_s, "{}");

    InstructionLibraryStore store;
    EXPECT_EQ(runTask(store.loadSnapshot()),
              InstructionLibraryCatalog::defaultSnapshot(customEntries()));
    EXPECT_EQ(entriesOf(folders.dataHome()), (QStringList{u"Tovalit"_s, u"VellupTranscriber"_s}));
    EXPECT_EQ(readFile(libraryPath()), olderFile());

    // With the product folder in place nothing else moves.
    runTask(store.saveSnapshot(InstructionLibraryCatalog::defaultSnapshot({})));
    EXPECT_EQ(readFile(folders.dataHome() + u"/VellupTranscriber/instruction-library.json"_s),
              "{}");
}

TEST_F(InstructionLibraryStoreTest, WithoutAnyDataFolderTheFolderIsCreated) {
    InstructionLibraryStore store;
    runTask(store.loadSnapshot());
    EXPECT_TRUE(QFileInfo(folders.dataFolder()).isDir());
    EXPECT_TRUE(entriesOf(folders.dataFolder()).isEmpty());

    // A plain file where the folder belongs fails both ways and survives.
    QDir(folders.dataFolder()).removeRecursively();
    writeFile(folders.dataFolder(), "not a folder");
    EXPECT_THROW(runTask(store.loadSnapshot()), DataFolderError);
    EXPECT_THROW(runTask(store.saveSnapshot(InstructionLibraryCatalog::defaultSnapshot({}))),
                 DataFolderError);
    EXPECT_EQ(readFile(folders.dataFolder()), "not a folder");
}

TEST_F(InstructionLibraryStoreTest, CallsRunOneAtATimeInOrderAndUpdatesSeeEachOther) {
    InstructionLibraryStore store;
    const InstructionLibrarySnapshot first = InstructionLibraryCatalog::defaultSnapshot({});
    const InstructionLibrarySnapshot second =
        InstructionLibraryCatalog::defaultSnapshot(customEntries());
    // Started back to back without waiting: each call sees the one before.
    auto save1 = store.saveSnapshot(first);
    auto load1 = store.loadSnapshot();
    auto save2 = store.saveSnapshot(second);
    auto load2 = store.loadSnapshot();
    EXPECT_EQ(runTask(std::move(load2)), second);
    EXPECT_EQ(runTask(std::move(load1)), first);
    runTask(std::move(save1));
    runTask(std::move(save2));

    const InstructionLibraryEntry added = instruction({.title = u"新指令"_s});
    auto append = store.update(
        [added](InstructionLibrarySnapshot &snapshot) { snapshot.customEntries.append(added); });
    auto drop = store.update([](InstructionLibrarySnapshot &snapshot) {
        snapshot.customEntries.removeFirst();
        snapshot.builtinEntries.clear();
    });
    EXPECT_EQ(runTask(std::move(append)).customEntries.size(), 3);
    const InstructionLibrarySnapshot last = runTask(std::move(drop));
    EXPECT_EQ(last.customEntries, (QList<InstructionLibraryEntry>{customEntries()[1], added}));
    EXPECT_EQ(last.builtinEntries, InstructionLibraryCatalog::builtinEntries());
    EXPECT_EQ(runTask(store.loadSnapshot()), last);
}

} // namespace
} // namespace tovalit
