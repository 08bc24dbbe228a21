#include "support/regex.h"
#include "tests/state/transcriber_view_model_lexicon_harness.h"
#include "tests/support/scoped_time_zone.h"

#include <QDir>

namespace tovalit {
namespace {

using namespace testing;

const QString missingCredentials = QStringLiteral("火山云热词同步未配置 AK/SK。");

class LexiconLoadingTest : public LexiconTest {};

TEST_F(LexiconLoadingTest, AFirstStartSavesANewNamespaceAndSynchronisesItOnceAllIsLoaded) {
    makeStore(false);
    startUp();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied")));

    // The namespace, the day's batch, then the cloud.
    EXPECT_EQ(
        actions(),
        (QStringList{QStringLiteral("persist_local_only"), QStringLiteral("load_snapshot"),
                     QStringLiteral("persist_local_only"), QStringLiteral("cloud_sync_resolved"),
                     QStringLiteral("persist_applied")}));
    const PersonalLexiconAuditEvent load = *lastEvent(QStringLiteral("load_snapshot"));
    ASSERT_TRUE(load.syncNamespace.has_value());
    EXPECT_TRUE(textkit::Regex(QStringLiteral("[0-9a-f]{32}")).matchesEntirely(*load.syncNamespace))
        << load.syncNamespace->toStdString();
    EXPECT_EQ(load.entryCount, 0);

    const PersonalLexiconSnapshot stored = storedSnapshot();
    EXPECT_EQ(stored.cloudState.syncNamespace, load.syncNamespace);
    // No gateway and no OpenAPI keys: the direct route stops at the keys and
    // says so in the saved state, which the status line shows.
    EXPECT_EQ(stored.cloudState.lastErrorMessage, missingCredentials);
    EXPECT_EQ(viewModel->personalLexiconCloudState().syncNamespace, load.syncNamespace);
    EXPECT_EQ(viewModel->personalLexiconSummary(), missingCredentials);
}

TEST_F(LexiconLoadingTest, ACleanLexiconIsPublishedInOrderWithoutAnyWrite) {
    PersonalLexiconEntry a10 = hotword(QStringLiteral("a10"));
    PersonalLexiconEntry a2 = hotword(QStringLiteral("a2"));
    PersonalLexiconEntry newest = hotword(QStringLiteral("Kestrel"));
    newest.updatedAt = newest.updatedAt.addSecs(60);
    storeSnapshot(syncedSnapshot({a10, a2, newest}));
    const QByteArray bytes = storedBytes();
    makeStore(true);
    startUp();
    ASSERT_TRUE(waitForAction(QStringLiteral("load_snapshot")));
    waitForHistory();

    EXPECT_EQ(actions(), QStringList{QStringLiteral("load_snapshot")})
        << "nothing to clean or synchronise, and today's batch has run";
    EXPECT_EQ(storedBytes(), bytes);
    // Latest change first, then numbers by their value.
    QList<QUuid> order;
    for (const PersonalLexiconEntry &entry : viewModel->personalLexiconEntries())
        order << entry.id();
    EXPECT_EQ(order, (QList<QUuid>{newest.id(), a2.id(), a10.id()}));
    EXPECT_EQ(lastEvent(QStringLiteral("load_snapshot"))->entryCount, 3);
}

TEST_F(LexiconLoadingTest, RepeatsInTheLearningBookkeepingAreCleanedAndTheCleanedFileWritten) {
    PersonalLexiconSnapshot snapshot = syncedSnapshot({hotword(QStringLiteral("Kestrel"))});
    const QUuid first = QUuid::createUuid();
    const QUuid second = QUuid::createUuid();
    snapshot.historyLearningState.processedRecordIDs = {first, second, first};
    snapshot.historyLearningState.ignoredNormalizedTerms = {
        QStringLiteral("Foo"), QStringLiteral("\u3000ＦＯＯ\u3000"), QStringLiteral("  ")};
    storeSnapshot(snapshot);
    makeStore(true);
    startUp();
    ASSERT_TRUE(waitForAction(QStringLiteral("load_snapshot")));
    waitForHistory();

    EXPECT_EQ(actions(),
              (QStringList{QStringLiteral("persist_local_only"), QStringLiteral("load_snapshot")}))
        << "saved here; the cloud has nothing of it";
    PersonalLexiconHistoryLearningState expected;
    expected.processedRecordIDs = {first, second};
    expected.ignoredNormalizedTerms = {QStringLiteral("foo")};
    expected.lastDailyBatchAt = snapshot.historyLearningState.lastDailyBatchAt;
    EXPECT_EQ(storedSnapshot().historyLearningState, expected);
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState(), expected);
    EXPECT_EQ(storedSnapshot().cloudState.syncNamespace, snapshot.cloudState.syncNamespace)
        << "a valid namespace survives";
}

TEST_F(LexiconLoadingTest, AnUndecodableFileIsKeptAsideAndTheUserToldWhereWhileTheLexiconIsEmpty) {
    // One byte that is no UTF-8, in one term.
    storeSnapshot(
        syncedSnapshot({hotword(QStringLiteral("Kestrel")), hotword(QStringLiteral("Tovalit"))}));
    QByteArray damaged = storedBytes();
    const qsizetype term = damaged.indexOf("Kestrel");
    ASSERT_GE(term, 0);
    damaged[term + 3] = char(0xFF);
    QFile file(lexiconPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(damaged);
    file.close();
    makeStore(true);
    startUp();
    ASSERT_TRUE(waitForAction(QStringLiteral("load_failed")));

    const PersonalLexiconAuditEvent failed = *lastEvent(QStringLiteral("load_failed"));
    EXPECT_EQ(failed.entryCount, 0);
    ASSERT_TRUE(failed.lastErrorMessage.has_value());
    EXPECT_FALSE(failed.lastErrorMessage->isEmpty());
    EXPECT_EQ(viewModel->recentLexiconLearningMessage(),
              QStringLiteral("个人词库加载失败：") + *failed.lastErrorMessage);
    EXPECT_TRUE(viewModel->personalLexiconEntries().isEmpty());
    EXPECT_EQ(actions().value(0), QStringLiteral("load_failed")) << "loading wrote nothing";

    // The damaged file is kept beside itself, byte for byte, and the
    // window's first notice names the lexicon and the copy.
    const auto copies = [&] {
        return QDir(lexiconFolder())
            .entryList({QStringLiteral("personal-lexicon.json.unreadable-*")}, QDir::Files);
    };
    ASSERT_EQ(copies().size(), 1);
    const QString copy = lexiconFolder() + u'/' + copies().first();
    QFile aside(copy);
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), damaged);
    ASSERT_TRUE(viewModel->appToast().has_value()) << "nothing tells the user";
    EXPECT_TRUE(viewModel->appToast()->isError);
    EXPECT_EQ(viewModel->appToast()->message,
              QStringLiteral("个人词库文件无法解析，我的词条暂时为空；原文件另存为：") +
                  copies().first())
        << "the copy by its whole name, with no folder to push it past the toast's lines";
    EXPECT_EQ(viewModel->setAsideLexiconCopies(), QStringList{QDir::toNativeSeparators(copy)})
        << "the lexicon page's word of the copy, which stays after the toast";

    // The day's first history batch saves the (empty) lexicon in its place
    // and keeps no second copy.
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_local_only")));
    EXPECT_EQ(copies().size(), 1);
    EXPECT_TRUE(storedSnapshot().entries.isEmpty());

    // The user recovered the entries and removed the copy: the page's word
    // of it goes with the next read of the lexicon.
    ASSERT_TRUE(QFile::remove(copy));
    runTask(viewModel->loadPersonalLexicon());
    EXPECT_TRUE(viewModel->setAsideLexiconCopies().isEmpty());
}

TEST_F(LexiconLoadingTest, EntriesTheTermRulesDropAtTheLoadStayFindableInACopyOfTheFile) {
    // Typed into the file by hand: an empty term, one far too long, one
    // with a control character, and the same entry twice.
    const PersonalLexiconEntry kept = hotword(QStringLiteral("Kestrel"));
    storeSnapshot(syncedSnapshot({kept, hotword(QString()), hotword(QString(100000, u'x')),
                                  hotword(QStringLiteral("Tova\u0007lit")), kept}));
    const QByteArray original = storedBytes();
    makeStore(true);
    startUp();
    ASSERT_TRUE(waitForAction(QStringLiteral("load_snapshot")));
    waitForHistory();

    EXPECT_EQ(switches(viewModel->personalLexiconEntries()), QStringList{"Kestrel on"});
    EXPECT_EQ(switches(storedSnapshot().entries), QStringList{"Kestrel on"});
    const auto copies = [&] {
        return QDir(lexiconFolder())
            .entryList({QStringLiteral("personal-lexicon.json.*")}, QDir::Files);
    };
    ASSERT_EQ(copies().size(), 1);
    EXPECT_TRUE(textkit::Regex(QStringLiteral("personal-lexicon\\.json\\.before-cleanup-"
                                              "[0-9]{8}T[0-9]{6}Z"))
                    .matchesEntirely(copies().first()))
        << copies().first().toStdString();
    const QString copy = lexiconFolder() + u'/' + copies().first();
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), original) << "the file as it was";
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_EQ(viewModel->appToast()->message,
              QStringLiteral("载入个人词库时移除了不符合词条规则的条目，原文件另存为：") +
                  copies().first());

    // Clean now: the next load keeps no other copy.
    runTask(viewModel->loadPersonalLexicon());
    EXPECT_EQ(copies().size(), 1);

    // The hand-made file again, on a disk that takes no write for now: the
    // first save that does get through, the user's own, keeps it first.
    QFile handMade(lexiconPath());
    ASSERT_TRUE(handMade.open(QIODevice::WriteOnly));
    handMade.write(original);
    handMade.close();
    refusingStore->refuseSaves = true;
    runTask(viewModel->loadPersonalLexicon());
    EXPECT_EQ(storedBytes(), original);
    EXPECT_EQ(copies().size(), 1);
    refusingStore->refuseSaves = false;
    viewModel->saveManualLexiconEntry(std::nullopt, PersonalLexiconEntryKind::hotword, std::nullopt,
                                      QStringLiteral("Velmora"), true, 1, std::nullopt,
                                      std::nullopt);
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied")));
    EXPECT_EQ(switches(storedSnapshot().entries), (QStringList{"Kestrel on", "Velmora on"}));
    ASSERT_EQ(copies().size(), 2);
    for (const QString &name : copies()) {
        QFile kept(lexiconFolder() + u'/' + name);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), original) << name.toStdString();
    }
}

TEST_F(LexiconLoadingTest, AFileThatCouldNotBeReadIsReadAgainBeforeAnyChangeAndNeverSavedOver) {
    PersonalLexiconSnapshot snapshot = syncedSnapshot({hotword(QStringLiteral("Tovalit"))});
    snapshot.historyLearningState.processedRecordIDs = {QUuid::createUuid()};
    storeSnapshot(snapshot);
    const QByteArray bytes = storedBytes();
    // The start-up's load cannot read the file; it reads by the day's batch.
    refusingStore->failingReads = 1;
    makeStore(true);
    startUp();
    waitForHistory();
    // The read again comes after the history, however slow the machine.
    ASSERT_TRUE(waitForAction(QStringLiteral("load_snapshot")));
    EXPECT_EQ(actions().mid(0, 2),
              (QStringList{QStringLiteral("load_failed"), QStringLiteral("load_snapshot")}));
    EXPECT_EQ(storedBytes(), bytes) << "today's batch had run, as the file says";
    EXPECT_EQ(switches(viewModel->personalLexiconEntries()), QStringList{"Tovalit on"});
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_EQ(viewModel->appToast()->message,
              QStringLiteral("个人词库加载失败：无法读取个人词库文件：Permission denied"))
        << "the file untouched, and the user told why the lexicon was empty";

    // Unreadable again, and still when the refresh's batch would save.
    refusingStore->failingReads = 2;
    panel->clear();
    runTask(viewModel->refreshPersonalLexicon());
    const QString readFailure = QStringLiteral("无法读取个人词库文件：Permission denied");
    EXPECT_EQ(panel->calls(), QStringList{QStringLiteral("toast 个人词库保存失败：") + readFailure +
                                          QStringLiteral(" | - | -")});
    EXPECT_EQ(storedBytes(), bytes);

    // Readable again: the user's change joins what the file holds.
    viewModel->saveManualLexiconEntry(std::nullopt, PersonalLexiconEntryKind::hotword, std::nullopt,
                                      QStringLiteral("Kestrel"), true, 1, std::nullopt,
                                      std::nullopt);
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied")));
    const PersonalLexiconSnapshot stored = storedSnapshot();
    EXPECT_EQ(switches(stored.entries), (QStringList{"Kestrel on", "Tovalit on"}));
    EXPECT_EQ(stored.historyLearningState.processedRecordIDs,
              snapshot.historyLearningState.processedRecordIDs);
}

TEST_F(LexiconLoadingTest, TheStatusLineFollowsTheSyncStateAndCountsOnlyTheUsersEntries) {
    ScopedTimeZone zone("CST-8");
    makeStore(true);
    makeViewModel();
    PersonalLexiconEntry corrected =
        lexiconEntry(PersonalLexiconEntryKind::hotword, std::nullopt, QStringLiteral("Kestrel"),
                     PersonalLexiconEntrySource::insertionCorrection, 2, false);
    PersonalLexiconSnapshot snapshot = cleanSnapshot(
        {hotword(QStringLiteral("Tovalit")), corrected,
         hotword(QStringLiteral("Zephyra"), PersonalLexiconEntrySource::historyFrequency)});
    snapshot.cloudState.lastSyncedAt = QDateTime(QDate(2026, 3, 5), QTime(1, 7), Qt::UTC);

    snapshot.cloudState.lastErrorMessage = QStringLiteral("火山云词库同步失败（500）：busy");
    loadLexicon(snapshot);
    EXPECT_EQ(viewModel->personalLexiconSummary(),
              QStringLiteral("火山云词库同步失败（500）：busy"))
        << "an error wins over the last sync";

    snapshot.cloudState.lastErrorMessage = QStringLiteral(" \n ");
    loadLexicon(snapshot);
    EXPECT_EQ(viewModel->personalLexiconSummary(),
              QStringLiteral("已整理 2 条我的词条，其中 1 条正在生效，最近同步于 03-05 09:07。"))
        << "history-learned entries are not the user's; the time is local";

    snapshot.cloudState.lastSyncedAt.reset();
    loadLexicon(snapshot);
    EXPECT_EQ(viewModel->personalLexiconSummary(),
              QStringLiteral("我的词条会通过 Tovalit "
                             "Gateway 自动同步，后续识别和整理会优先采用你确认过的写法。"));

    viewModel.reset();
    makeStore(false);
    makeViewModel();
    loadLexicon(snapshot);
    EXPECT_EQ(
        viewModel->personalLexiconSummary(),
        QStringLiteral(
            "未配置火山 OpenAPI AK/SK。我的词条会先在本地生效；完成配置后会自动同步到云端。"));
}

TEST_F(LexiconLoadingTest, AChangeThatCannotBeSavedIsReportedAndNeitherShownNorSynchronised) {
    makeStore(false);
    makeViewModel();
    loadLexicon(cleanSnapshot({hotword(QStringLiteral("Tovalit"))}));
    const QList<PersonalLexiconEntry> before = viewModel->personalLexiconEntries();
    const qsizetype skip = actions().size();
    panel->clear();
    breakLexiconFolder();

    viewModel->saveManualLexiconEntry(std::nullopt, PersonalLexiconEntryKind::hotword, std::nullopt,
                                      QStringLiteral("Kestrel"), true, 1, std::nullopt,
                                      std::nullopt);
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_failed")));

    EXPECT_EQ(actionsSince(skip),
              (QStringList{QStringLiteral("create_requested"), QStringLiteral("persist_failed")}))
        << "the cloud never gets what the file could not keep";
    const PersonalLexiconAuditEvent failed = *lastEvent(QStringLiteral("persist_failed"));
    EXPECT_EQ(failed.entryCount, 2) << "the lexicon that could not be saved";
    ASSERT_TRUE(failed.lastErrorMessage.has_value());
    EXPECT_NE(*failed.lastErrorMessage, missingCredentials);
    EXPECT_EQ(panel->calls(), QStringList{QStringLiteral("toast 个人词库保存失败：") +
                                          *failed.lastErrorMessage + QStringLiteral(" | - | -")});
    EXPECT_EQ(viewModel->personalLexiconEntries(), before);
}

TEST_F(LexiconLoadingTest, ALexiconReadWellIsUsedEvenWhenItsCleanedFormCannotBeSaved) {
    PersonalLexiconSnapshot snapshot =
        syncedSnapshot({hotword(QStringLiteral("Tovalit")), hotword(QStringLiteral("Kestrel"))});
    const QUuid record = QUuid::createUuid();
    snapshot.historyLearningState.processedRecordIDs = {record, record};
    storeSnapshot(snapshot);
    const QByteArray bytes = storedBytes();
    refusingStore->refuseSaves = true;
    makeStore(true);
    startUp();
    ASSERT_TRUE(waitForAction(QStringLiteral("load_snapshot")));
    waitForHistory();

    EXPECT_EQ(actions(),
              (QStringList{QStringLiteral("persist_failed"), QStringLiteral("load_snapshot")}));
    const PersonalLexiconAuditEvent failed = *lastEvent(QStringLiteral("persist_failed"));
    ASSERT_TRUE(failed.lastErrorMessage.has_value());
    EXPECT_EQ(panel->calls(), QStringList{QStringLiteral("toast 个人词库保存失败：") +
                                          *failed.lastErrorMessage + QStringLiteral(" | - | -")});
    EXPECT_EQ(viewModel->personalLexiconEntries().size(), 2);
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState().processedRecordIDs,
              QList<QUuid>{record})
        << "cleaned as always";
    EXPECT_EQ(viewModel->personalLexiconCloudState().syncNamespace,
              snapshot.cloudState.syncNamespace);
    EXPECT_EQ(storedBytes(), bytes);
}

} // namespace
} // namespace tovalit
