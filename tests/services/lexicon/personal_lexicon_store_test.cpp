#include "models/lexicon_decoding_error.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "services/lexicon/personal_lexicon_store_error.h"
#include "support/data_folder.h"
#include "tests/services/lexicon/lexicon_test_entries.h"
#include "tests/support/clock_advancing_sleeper.h"
#include "tests/support/file_contents.h"
#include "tests/support/run_task.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::entriesOf;
using testing::hotword;
using testing::readFile;
using testing::replacement;
using testing::runTask;
using testing::WithTemporaryUserFolders;
using testing::writeFile;

const PersonalLexiconSnapshot &sampleSnapshot() {
    static const PersonalLexiconSnapshot snapshot = [] {
        PersonalLexiconSnapshot sample;
        sample.entries = {hotword("Kovarindel", 3), replacement("Orin AI", "OrinAI")};
        sample.cloudState.syncNamespace = QStringLiteral("team42");
        sample.historyLearningState.ignoredNormalizedTerms = {QStringLiteral("方案")};
        return sample;
    }();
    return snapshot;
}

QCoro::Task<void> noWait(double, CancelToken) {
    co_return;
}

// The two ways another program changes the file while we run: a new file
// renamed over it (editors, sync clients) and a rewrite of the same file.
enum class OtherWriter { rename, inPlace };

void writeAsOtherWriter(OtherWriter way, const QString &path, const QByteArray &bytes) {
    if (way == OtherWriter::inPlace) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
        return;
    }
    const QString fresh = path + ".editor-new";
    writeFile(fresh, bytes);
    ASSERT_EQ(
        std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData()), 0);
}

class PersonalLexiconStoreTest : public WithTemporaryUserFolders {
protected:
    QString lexiconPath() const { return folders.dataFolder() + "/personal-lexicon.json"; }
};

TEST_F(PersonalLexiconStoreTest, LoadingWithoutAFileCreatesNothingAndTheFirstSaveDoes) {
    PersonalLexiconStore store;
    EXPECT_EQ(runTask(store.loadSnapshot()), PersonalLexiconSnapshot::empty());
    EXPECT_TRUE(entriesOf(folders.dataHome()).isEmpty());

    const PersonalLexiconSnapshot snapshot = sampleSnapshot();
    EXPECT_EQ(runTask(store.saveSnapshot(snapshot)), snapshot);
    EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{"personal-lexicon.json"})
        << "written in place, nothing left over";
    EXPECT_EQ(runTask(store.loadSnapshot()), snapshot);
    EXPECT_EQ(runTask(store.fileURL()), lexiconPath());

    // Pretty-printed, keys sorted, UTF-8 as written.
    const QByteArray bytes = readFile(lexiconPath());
    EXPECT_TRUE(bytes.startsWith("{\n    \"cloudState\": {")) << bytes.left(40).toStdString();
    EXPECT_TRUE(bytes.contains("\"targetText\": \"OrinAI\""));
    EXPECT_TRUE(bytes.contains(QStringLiteral("方案").toUtf8()));
}

TEST_F(PersonalLexiconStoreTest, AFormerDataFolderIsMovedIntoPlaceOnce) {
    const QString quendor = folders.dataHome() + "/Quendor";
    const QString older = folders.dataHome() + "/VellupTranscriber";
    writeFile(quendor + "/personal-lexicon.json", sampleSnapshot().toFileBytes());
    writeFile(older + "/personal-lexicon.json", PersonalLexiconSnapshot::empty().toFileBytes());

    PersonalLexiconStore store;
    EXPECT_EQ(runTask(store.loadSnapshot()), sampleSnapshot());
    EXPECT_EQ(entriesOf(folders.dataHome()), (QStringList{"Tovalit", "VellupTranscriber"}));

    // With the product folder in place nothing else moves.
    writeFile(quendor + "/stray", "x");
    runTask(store.saveSnapshot(PersonalLexiconSnapshot::empty()));
    EXPECT_TRUE(QFileInfo::exists(quendor + "/stray"));
    EXPECT_TRUE(QFileInfo::exists(older));
}

TEST_F(PersonalLexiconStoreTest, APlainFileNamedLikeTheDataFolderReadsEmptyAndRefusesSaves) {
    writeFile(folders.dataFolder(), "not a folder");
    PersonalLexiconStore store;
    EXPECT_EQ(runTask(store.loadSnapshot()), PersonalLexiconSnapshot::empty());
    EXPECT_THROW(runTask(store.saveSnapshot(sampleSnapshot())), PersonalLexiconStoreError);
    EXPECT_EQ(readFile(folders.dataFolder()), "not a folder");
}

TEST_F(PersonalLexiconStoreTest, ABaseFolderIsUsedAsIsAndCreatedOnSave) {
    writeFile(folders.dataHome() + "/Quendor/personal-lexicon.json",
              sampleSnapshot().toFileBytes());
    QTemporaryDir root;
    const QString base = root.path() + "/nested/lexicon";
    PersonalLexiconStore store(base);
    EXPECT_EQ(runTask(store.loadSnapshot()), PersonalLexiconSnapshot::empty());
    EXPECT_FALSE(QFileInfo::exists(base));
    runTask(store.saveSnapshot(sampleSnapshot()));
    EXPECT_EQ(PersonalLexiconSnapshot::fromFileBytes(readFile(base + "/personal-lexicon.json")),
              sampleSnapshot());
    EXPECT_TRUE(QFileInfo::exists(folders.dataHome() + "/Quendor")) << "former folder untouched";
}

TEST_F(PersonalLexiconStoreTest, AnUndecodableFileIsSetAsideByTheLoadAndItsCopyReportedOnce) {
    using SetAside = PersonalLexiconStore::SetAsideFile;
    struct Case {
        const char *name;
        QByteArray bytes;
    };
    QByteArray newerEnum = sampleSnapshot().toFileBytes();
    newerEnum.replace("\"pending\"", "\"archived\"");
    const Case cases[] = {
        {"empty file", QByteArray()},
        {"truncated", sampleSnapshot().toFileBytes().left(60)},
        {"value from a newer version", newerEnum},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folders.dataFolder()).removeRecursively();
        writeFile(lexiconPath(), c.bytes);
        PersonalLexiconStore store(std::nullopt, noWait);
        EXPECT_THROW(runTask(store.loadSnapshot()), LexiconDecodingError);
        const QStringList files = entriesOf(folders.dataFolder());
        ASSERT_EQ(files.size(), 1) << files.join(", ").toStdString();
        EXPECT_TRUE(QRegularExpression("^personal-lexicon\\.json\\.unreadable-\\d{8}T\\d{6}Z$")
                        .match(files[0])
                        .hasMatch())
            << files[0].toStdString();
        const QString copy = folders.dataFolder() + '/' + files[0];
        EXPECT_EQ(readFile(copy), c.bytes);
        EXPECT_EQ(store.takeSetAsideFiles(), (QList<SetAside>{{SetAside::Why::undecodable, copy}}));
        EXPECT_TRUE(store.takeSetAsideFiles().isEmpty()) << "reported once";

        runTask(store.saveSnapshot(PersonalLexiconSnapshot::empty()));
        EXPECT_EQ(entriesOf(folders.dataFolder()),
                  (QStringList{"personal-lexicon.json", files[0]}));
        EXPECT_TRUE(store.takeSetAsideFiles().isEmpty());
        EXPECT_EQ(runTask(store.loadSnapshot()), PersonalLexiconSnapshot::empty());
    }

    // A save that was never preceded by a load checks the file too, so does
    // a save after someone else rewrote the file, and two set-asides in the
    // same second do not collide.
    QDir(folders.dataFolder()).removeRecursively();
    PersonalLexiconStore fresh;
    writeFile(lexiconPath(), "{");
    runTask(fresh.saveSnapshot(sampleSnapshot()));
    writeFile(lexiconPath(), "[]");
    runTask(fresh.saveSnapshot(sampleSnapshot()));
    const QStringList files = entriesOf(folders.dataFolder());
    ASSERT_EQ(files.size(), 3) << files.join(", ").toStdString();
    QByteArrayList asides{readFile(folders.dataFolder() + '/' + files[1]),
                          readFile(folders.dataFolder() + '/' + files[2])};
    std::sort(asides.begin(), asides.end());
    EXPECT_EQ(asides, (QByteArrayList{"[]", "{"}));
    EXPECT_EQ(runTask(fresh.unreadableCopies()),
              (QStringList{QDir::toNativeSeparators(folders.dataFolder() + '/' + files[1]),
                           QDir::toNativeSeparators(folders.dataFolder() + '/' + files[2])}))
        << "what the lexicon page lists, oldest first";
    const QList<SetAside> reported = fresh.takeSetAsideFiles();
    ASSERT_EQ(reported.size(), 2);
    EXPECT_EQ(reported[0].why, SetAside::Why::unread);
    EXPECT_EQ(reported[1].why, SetAside::Why::unread);

    // A readable file is simply replaced.
    QDir(folders.dataFolder()).removeRecursively();
    writeFile(lexiconPath(), sampleSnapshot().toFileBytes());
    PersonalLexiconStore other;
    runTask(other.saveSnapshot(PersonalLexiconSnapshot::empty()));
    EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{"personal-lexicon.json"});
}

TEST_F(PersonalLexiconStoreTest, AFileCaughtHalfWrittenAtTheLoadIsKeptWhenItIsWholeAtTheSave) {
    const QByteArray whole = sampleSnapshot().toFileBytes();
    writeFile(lexiconPath(), whole.left(whole.size() / 2));
    PersonalLexiconStore store(std::nullopt, noWait);
    EXPECT_THROW(runTask(store.loadSnapshot()), LexiconDecodingError);
    // The other writer finishes before our next save.
    writeFile(lexiconPath(), whole);

    PersonalLexiconSnapshot learned = PersonalLexiconSnapshot::empty();
    learned.entries = {hotword("Velmora", 1)};
    runTask(store.saveSnapshot(learned));
    QByteArrayList contents;
    for (const QString &name : entriesOf(folders.dataFolder()))
        contents.append(readFile(folders.dataFolder() + '/' + name));
    EXPECT_TRUE(contents.contains(whole)) << "the user's entries are neither in the file nor kept";
    EXPECT_EQ(readFile(lexiconPath()), learned.toFileBytes());
}

TEST_F(PersonalLexiconStoreTest, AnotherWritersChangeIsKeptUnderTheSavesOwnEitherWayItWrote) {
    for (const OtherWriter way : {OtherWriter::rename, OtherWriter::inPlace}) {
        SCOPED_TRACE(way == OtherWriter::rename ? "renamed over" : "rewritten in place");
        QDir(folders.dataFolder()).removeRecursively();
        writeFile(lexiconPath(), sampleSnapshot().toFileBytes());
        PersonalLexiconStore store;
        const PersonalLexiconSnapshot loaded = runTask(store.loadSnapshot());

        // The other writer adds an entry and removes one we left alone.
        PersonalLexiconSnapshot theirs = loaded;
        theirs.entries.removeFirst();
        theirs.entries.append(hotword("Brannoch"));
        writeAsOtherWriter(way, lexiconPath(), theirs.toFileBytes());

        // The window adds one, from the lexicon as it was loaded.
        PersonalLexiconSnapshot ours = loaded;
        ours.entries.prepend(hotword("Velmora"));
        const PersonalLexiconSnapshot saved = runTask(store.saveSnapshot(ours));

        PersonalLexiconSnapshot expected = theirs;
        expected.entries.prepend(ours.entries.first());
        const PersonalLexiconSnapshot stored =
            PersonalLexiconSnapshot::fromFileBytes(readFile(lexiconPath()));
        EXPECT_EQ(stored, expected);
        EXPECT_EQ(saved, stored) << "the caller is given what the file holds";
        EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{"personal-lexicon.json"});
        EXPECT_TRUE(store.takeSetAsideFiles().isEmpty()) << "nothing to tell: nothing conflicted";

        // The next save starts from what it wrote: replaced as usual.
        ours = saved;
        ours.entries.removeFirst();
        EXPECT_EQ(runTask(store.saveSnapshot(ours)), ours);
        EXPECT_EQ(readFile(lexiconPath()), ours.toFileBytes());
    }
}

TEST_F(PersonalLexiconStoreTest, ASaveWaitsForAFileBeingRewrittenInPlaceAndGoesOnTopOfIt) {
    testing::ClockAdvancingSleeper time;
    writeFile(lexiconPath(), sampleSnapshot().toFileBytes());
    PersonalLexiconStore store(std::nullopt, time.sleeper(), time.clock());
    const PersonalLexiconSnapshot loaded = runTask(store.loadSnapshot());

    // A sync tool rewrites the file in place with an entry added: a third
    // of it is written when the window saves, the rest a second later.
    PersonalLexiconSnapshot theirs = loaded;
    theirs.entries.append(hotword("Brannoch"));
    const QByteArray whole = theirs.toFileBytes();
    writeAsOtherWriter(OtherWriter::inPlace, lexiconPath(), whole.left(whole.size() / 3));
    const QDateTime start = time.now();
    time.atEachWait([&] {
        if (start.msecsTo(time.now()) >= 1000 && readFile(lexiconPath()) != whole)
            writeAsOtherWriter(OtherWriter::inPlace, lexiconPath(), whole);
    });
    PersonalLexiconSnapshot ours = loaded;
    ours.entries.prepend(hotword("Velmora"));
    runTask(store.saveSnapshot(ours));

    PersonalLexiconSnapshot expected = theirs;
    expected.entries.prepend(ours.entries.first());
    EXPECT_EQ(PersonalLexiconSnapshot::fromFileBytes(readFile(lexiconPath())), expected);
    EXPECT_EQ(time.waits(), (std::vector<double>{0.5, 1.0}));
    EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{"personal-lexicon.json"});
    EXPECT_TRUE(store.takeSetAsideFiles().isEmpty());
}

TEST_F(PersonalLexiconStoreTest, AnEntryBothChangedIsSavedAsOursAndTheirFileIsKeptBeside) {
    using SetAside = PersonalLexiconStore::SetAsideFile;
    writeFile(lexiconPath(), sampleSnapshot().toFileBytes());
    PersonalLexiconStore store;
    const PersonalLexiconSnapshot loaded = runTask(store.loadSnapshot());

    PersonalLexiconSnapshot theirs = loaded;
    theirs.entries[0].targetText = QStringLiteral("Kovarindel Pro");
    theirs.entries.append(hotword("Brannoch"));
    theirs.cloudState.syncNamespace = QStringLiteral("team43");
    writeAsOtherWriter(OtherWriter::rename, lexiconPath(), theirs.toFileBytes());

    PersonalLexiconSnapshot ours = loaded;
    ours.entries[0].enabled = false;
    // Removed here, changed there: a conflict too.
    theirs.entries[1].hitCount = 7;
    writeAsOtherWriter(OtherWriter::inPlace, lexiconPath(), theirs.toFileBytes());
    ours.entries.removeAt(1);
    runTask(store.saveSnapshot(ours));

    const PersonalLexiconSnapshot stored =
        PersonalLexiconSnapshot::fromFileBytes(readFile(lexiconPath()));
    ASSERT_EQ(stored.entries.size(), 2);
    EXPECT_EQ(stored.entries[0], ours.entries[0]);
    EXPECT_EQ(stored.entries[1].targetText, "Brannoch");
    EXPECT_EQ(stored.cloudState.syncNamespace, "team43") << "a change only they made";

    const QStringList files = entriesOf(folders.dataFolder());
    ASSERT_EQ(files.size(), 2) << files.join(", ").toStdString();
    EXPECT_TRUE(QRegularExpression("^personal-lexicon\\.json\\.conflict-\\d{8}T\\d{6}Z$")
                    .match(files[1])
                    .hasMatch())
        << files[1].toStdString();
    const QString copy = folders.dataFolder() + '/' + files[1];
    EXPECT_EQ(readFile(copy), theirs.toFileBytes()) << "their version of both entries";
    EXPECT_EQ(store.takeSetAsideFiles(), (QList<SetAside>{{SetAside::Why::conflict, copy}}));
    EXPECT_TRUE(runTask(store.unreadableCopies()).isEmpty()) << "nothing to recover by hand";
}

TEST_F(PersonalLexiconStoreTest, AFileStillBeingWrittenIsReadAgainBeforeItIsSetAside) {
    const QByteArray whole = sampleSnapshot().toFileBytes();
    testing::ClockAdvancingSleeper time;
    const QDateTime start = time.now();

    // A sync tool that finishes its write a second after the start.
    writeFile(lexiconPath(), whole.left(whole.size() / 3));
    time.atEachWait([&] {
        if (start.msecsTo(time.now()) >= 1000 && readFile(lexiconPath()) != whole)
            writeAsOtherWriter(OtherWriter::inPlace, lexiconPath(), whole);
    });
    {
        PersonalLexiconStore store(std::nullopt, time.sleeper(), time.clock());
        EXPECT_EQ(runTask(store.loadSnapshot()), sampleSnapshot());
        EXPECT_EQ(time.waits(), (std::vector<double>{0.5, 1.0}));
        EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{"personal-lexicon.json"});
        EXPECT_TRUE(store.takeSetAsideFiles().isEmpty());
    }

    // One that never finishes goes aside after the last wait; a damaged
    // file nobody has touched for a while goes at once.
    time.atEachWait({});
    for (const bool recent : {true, false}) {
        SCOPED_TRACE(recent ? "modified just now" : "modified an hour ago");
        QDir(folders.dataFolder()).removeRecursively();
        writeFile(lexiconPath(), whole.left(40));
        time.setNow(QDateTime::currentDateTimeUtc().addSecs(recent ? 0 : 3600));
        time.clearWaits();
        PersonalLexiconStore store(std::nullopt, time.sleeper(), time.clock());
        EXPECT_THROW(runTask(store.loadSnapshot()), LexiconDecodingError);
        const std::vector<double> expected =
            recent ? std::vector<double>{0.5, 1.0, 2.0, 4.0} : std::vector<double>{};
        EXPECT_EQ(time.waits(), expected);
        ASSERT_EQ(store.takeSetAsideFiles().size(), 1);
        EXPECT_FALSE(QFileInfo::exists(lexiconPath()));
    }
}

TEST_F(PersonalLexiconStoreTest, ALexiconKeptElsewhereThroughALinkStaysThere) {
    const QString synced = folders.dataHome() + "/synced";
    writeFile(synced + "/personal-lexicon.json", "{");
    ASSERT_TRUE(QDir().mkpath(folders.dataFolder()));
    ASSERT_TRUE(QFile::link(synced + "/personal-lexicon.json", lexiconPath()));
    PersonalLexiconStore store(std::nullopt, noWait);
    EXPECT_THROW(runTask(store.loadSnapshot()), LexiconDecodingError);

    runTask(store.saveSnapshot(sampleSnapshot()));
    EXPECT_TRUE(QFileInfo(lexiconPath()).isSymLink());
    EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{"personal-lexicon.json"});
    const QStringList kept = entriesOf(synced);
    ASSERT_EQ(kept.size(), 2) << kept.join(", ").toStdString();
    EXPECT_EQ(readFile(synced + "/personal-lexicon.json"), sampleSnapshot().toFileBytes());
    EXPECT_EQ(readFile(synced + '/' + kept[1]), "{") << "the unreadable file is kept beside itself";

    // A copy kept of the file a save replaces goes there too.
    store.takeSetAsideFiles();
    runTask(store.saveSnapshot(PersonalLexiconSnapshot::empty(),
                               PersonalLexiconStore::PreviousFile::keepCopy));
    const QStringList copies = entriesOf(synced).filter("before-cleanup");
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(readFile(synced + '/' + copies[0]), sampleSnapshot().toFileBytes());
    EXPECT_EQ(readFile(synced + "/personal-lexicon.json"),
              PersonalLexiconSnapshot::empty().toFileBytes());
    EXPECT_EQ(store.takeSetAsideFiles(),
              (QList<PersonalLexiconStore::SetAsideFile>{
                  {PersonalLexiconStore::SetAsideFile::Why::kept, synced + '/' + copies[0]}}));
    EXPECT_EQ(entriesOf(folders.dataFolder()), QStringList{"personal-lexicon.json"});
}

TEST_F(PersonalLexiconStoreTest, ALinkWhoseFileWasRemovedElsewhereIsSavedThroughAgain) {
    // The synced copy was deleted on another machine; the link stays here.
    const QString synced = folders.dataHome() + "/synced";
    const QString target = synced + "/personal-lexicon.json";
    ASSERT_TRUE(QDir().mkpath(synced));
    ASSERT_TRUE(QDir().mkpath(folders.dataFolder()));
    ASSERT_TRUE(QFile::link(target, lexiconPath()));
    PersonalLexiconStore store;
    EXPECT_EQ(runTask(store.loadSnapshot()), PersonalLexiconSnapshot::empty());

    const PersonalLexiconSnapshot added = runTask(store.upsert(hotword("Velmora", 1)));
    EXPECT_TRUE(QFileInfo(lexiconPath()).isSymLink());
    EXPECT_EQ(readFile(target), added.toFileBytes());
    EXPECT_EQ(entriesOf(synced), QStringList{"personal-lexicon.json"});
    EXPECT_EQ(runTask(store.loadSnapshot()), added);

    // With the synced folder gone too, nothing is made up in its place and
    // the failure says where the link leads.
    ASSERT_TRUE(QDir(synced).removeRecursively());
    try {
        runTask(store.upsert(hotword("Orin", 1)));
        ADD_FAILURE() << "saved through a link into a folder that is not there";
    } catch (const PersonalLexiconStoreError &error) {
        EXPECT_EQ(error.kind(), PersonalLexiconStoreError::Kind::WriteFailed);
        EXPECT_TRUE(error.localizedDescription().contains(target))
            << error.localizedDescription().toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(synced));
    EXPECT_TRUE(QFileInfo(lexiconPath()).isSymLink());
}

TEST_F(PersonalLexiconStoreTest, AFileThatCouldNotBeReadIsKeptFromEverySaveUntilItReads) {
    // A folder in the file's place cannot be read, as a file behind a
    // permission or on a network folder that is away cannot.
    QDir().mkpath(lexiconPath());
    PersonalLexiconStore store;
    EXPECT_THROW(runTask(store.loadSnapshot()), PersonalLexiconStoreError);

    // Readable again by the next save, which still never saw what it holds.
    QDir(lexiconPath()).removeRecursively();
    writeFile(lexiconPath(), sampleSnapshot().toFileBytes());
    try {
        runTask(store.saveSnapshot(PersonalLexiconSnapshot::empty()));
        ADD_FAILURE() << "saved over a file it could not read";
    } catch (const PersonalLexiconStoreError &error) {
        EXPECT_EQ(error.kind(), PersonalLexiconStoreError::Kind::NotRead);
    }
    EXPECT_EQ(readFile(lexiconPath()), sampleSnapshot().toFileBytes());

    EXPECT_EQ(runTask(store.loadSnapshot()), sampleSnapshot());
    runTask(store.saveSnapshot(PersonalLexiconSnapshot::empty()));
    EXPECT_EQ(runTask(store.loadSnapshot()), PersonalLexiconSnapshot::empty());
}

TEST_F(PersonalLexiconStoreTest, AFolderThatCannotBeLookedIntoIsNoFolderWithoutALexicon) {
    // The data folder, not the file, cannot be searched for a while, as
    // behind a permission or a network home refusing access: here a loop
    // of links, which refuses root too.
    const QString kept = folders.dataHome() + "/kept";
    writeFile(kept + "/personal-lexicon.json", sampleSnapshot().toFileBytes());
    ASSERT_TRUE(QFile::link(folders.dataFolder(), folders.dataFolder()));
    PersonalLexiconStore store;
    try {
        runTask(store.loadSnapshot());
        ADD_FAILURE() << "a folder that could not be looked into read as one without a lexicon";
    } catch (const PersonalLexiconStoreError &error) {
        EXPECT_EQ(error.kind(), PersonalLexiconStoreError::Kind::ReadFailed);
    }

    // Reachable again: no save replaces what it was never seen to hold.
    ASSERT_TRUE(QFile::remove(folders.dataFolder()));
    ASSERT_TRUE(QFile::link(kept, folders.dataFolder()));
    EXPECT_THROW(runTask(store.saveSnapshot(PersonalLexiconSnapshot::empty())),
                 PersonalLexiconStoreError);
    EXPECT_EQ(readFile(kept + "/personal-lexicon.json"), sampleSnapshot().toFileBytes());
    EXPECT_EQ(runTask(store.loadSnapshot()), sampleSnapshot());
}

TEST_F(PersonalLexiconStoreTest, CallsRunOneAtATimeInOrderAndMutationsKeepTheRest) {
    PersonalLexiconStore store;
    PersonalLexiconSnapshot first = sampleSnapshot();
    PersonalLexiconSnapshot second = sampleSnapshot();
    second.entries.append(hotword("Terraform"));
    // Started back to back without waiting: each call sees the one before.
    auto save1 = store.saveSnapshot(first);
    auto load1 = store.loadSnapshot();
    auto save2 = store.saveSnapshot(second);
    auto load2 = store.loadSnapshot();
    EXPECT_EQ(runTask(std::move(load2)), second);
    EXPECT_EQ(runTask(std::move(load1)), first);
    runTask(std::move(save1));
    runTask(std::move(save2));

    const PersonalLexiconEntry added = hotword("Helm");
    auto snapshot = runTask(store.upsert(added));
    EXPECT_EQ(snapshot.entries.size(), 4);
    PersonalLexiconEntry changed = added;
    changed.hitCount = 9;
    snapshot = runTask(store.upsert(changed));
    EXPECT_EQ(snapshot.entries.size(), 4);
    EXPECT_EQ(snapshot.entries.last().hitCount, 9);
    const QDateTime now = QDateTime(QDate(2026, 4, 1), QTime(9, 0), Qt::UTC);
    snapshot = runTask(store.setEntryEnabled(added.id(), false, now));
    EXPECT_FALSE(snapshot.entries.last().enabled);
    EXPECT_EQ(snapshot.entries.last().updatedAt, now);
    snapshot = runTask(store.deleteEntry(added.id()));
    EXPECT_EQ(snapshot, second);
    EXPECT_EQ(runTask(store.loadSnapshot()), second);
}

} // namespace
} // namespace tovalit
