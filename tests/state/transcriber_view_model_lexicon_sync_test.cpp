#include "models/instruction_library_catalog.h"
#include "services/instructions/instruction_library_store.h"
#include "tests/state/transcriber_view_model_lexicon_harness.h"
#include "tests/support/chat_replies.h"
#include "tests/support/stand_in_http_server.h"
#include "tests/support/task_in_flight.h"

namespace tovalit {
namespace {

using namespace testing;

const QString missingCredentials = QStringLiteral("火山云热词同步未配置 AK/SK。");
const QString connectionLost = QStringLiteral(
    "个人词库同步失败：无法连接服务器，或连接在收到回复前中断。请检查网络后点击“立即同步”重试。");

class LexiconSyncTest : public LexiconTest {
protected:
    GatewayLexiconSyncConfiguration route(const QString &token) const {
        return {server.url(QStringLiteral("/api/proxy/lexicon-sync")), token};
    }
    // A hand-made hot word, which is saved through a sync.
    void addHotword(const QString &target) {
        const qsizetype saves = actions().count(QStringLiteral("persist_applied"));
        viewModel->saveManualLexiconEntry(std::nullopt, PersonalLexiconEntryKind::hotword,
                                          std::nullopt, target, true, 1, std::nullopt,
                                          std::nullopt);
        waitForAction(QStringLiteral("persist_applied"), saves + 1);
    }
    static StandInHttpReply accepted() {
        return StandInHttpReply::json(
            200,
            "{\"ok\":true,\"storedEntryCount\":1,\"sharedGlossaryTermCount\":0,"
            "\"effective\":{\"hotwordTableID\":\"ht-7\",\"hotwordTableName\":\"tovalit_hw\"}}");
    }

    static StandInHttpReply acceptedBothTables() {
        return StandInHttpReply::json(
            200, "{\"ok\":true,\"storedEntryCount\":3,\"sharedGlossaryTermCount\":1,"
                 "\"effective\":{\"hotwordTableID\":\"ht-7\",\"hotwordTableName\":\"tovalit_hw\","
                 "\"replacementTableID\":\"rt-7\",\"replacementTableName\":\"tovalit_rp\"}}");
    }
    // A replacement of the user's, which brings a hidden boost entry along,
    // and a hot word learned from a correction.
    PersonalLexiconSnapshot everyKindOfEntry() const {
        return cleanSnapshot(
            {lexiconEntry(PersonalLexiconEntryKind::replacement, QStringLiteral("托瓦利特"),
                          QStringLiteral("Tovalit")),
             hotword(QStringLiteral("Kestrel"), PersonalLexiconEntrySource::insertionCorrection)});
    }
    // "托瓦利特 -> Tovalit synced", "Tovalit pending hidden" …, sorted.
    static QStringList statuses(const QList<PersonalLexiconEntry> &entries) {
        QStringList words;
        for (const PersonalLexiconEntry &entry : entries) {
            words << entry.displayText() + u' ' + rawValue(entry.cloudSyncStatus) +
                         (entry.isUserVisible() ? QString() : QStringLiteral(" hidden"));
        }
        words.sort();
        return words;
    }
    // The published entries and the file agree, and are `expected`.
    void expectStatuses(const QStringList &expected) {
        EXPECT_EQ(statuses(viewModel->personalLexiconEntries()), expected);
        EXPECT_EQ(statuses(storedSnapshot().entries), expected);
    }

    StandInHttpServer server;
};

TEST_F(LexiconSyncTest, ARejectedGatewaySessionIsRenewedAndTheSameSnapshotSentOnceMore) {
    server.enqueue(StandInHttpReply::json(401, "{\"message\":\"invalid_token\"}"));
    server.enqueue(accepted());
    makeStore(true);
    gateway->lexiconSyncScript = {route(QStringLiteral("tok-1")), route(QStringLiteral("tok-2"))};
    makeViewModel();
    loadLexicon(cleanSnapshot());

    addHotword(QStringLiteral("Tovalit"));

    EXPECT_EQ(gateway->invalidations, 1);
    EXPECT_EQ(gateway->lexiconSyncRequests, 2) << "a new route for the second attempt";
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].header("Authorization"), QByteArray("Bearer tok-1"));
    EXPECT_EQ(server.requests()[1].header("Authorization"), QByteArray("Bearer tok-2"));
    EXPECT_EQ(server.requests()[1].body, server.requests()[0].body)
        << "the retry sends what the first attempt sent";
    EXPECT_TRUE(server.requests()[0].body.contains("\"targetText\":\"Tovalit\""));

    const PersonalLexiconSnapshot stored = storedSnapshot();
    EXPECT_EQ(stored.cloudState.hotwordTableID, QStringLiteral("ht-7"));
    EXPECT_EQ(stored.cloudState.hotwordTableName, QStringLiteral("tovalit_hw"));
    EXPECT_EQ(stored.cloudState.lastErrorMessage, std::nullopt);
    ASSERT_TRUE(stored.cloudState.lastSyncedAt.has_value());
    ASSERT_EQ(stored.entries.size(), 1);
    EXPECT_EQ(stored.entries[0].cloudSyncStatus, PersonalLexiconCloudSyncStatus::synced);
    EXPECT_EQ(viewModel->personalLexiconCloudState().hotwordTableID, QStringLiteral("ht-7"));
    EXPECT_EQ(viewModel->personalLexiconCloudState().lastSyncedAt->toSecsSinceEpoch(),
              stored.cloudState.lastSyncedAt->toSecsSinceEpoch());
    EXPECT_EQ(lastEvent(QStringLiteral("cloud_sync_resolved"))->hotwordTableName,
              QStringLiteral("tovalit_hw"));
    EXPECT_EQ(
        viewModel->personalLexiconSummary(),
        QStringLiteral("已整理 1 条我的词条，其中 1 条正在生效，最近同步于 ") +
            stored.cloudState.lastSyncedAt->toLocalTime().toString(QStringLiteral("MM-dd HH:mm")) +
            QStringLiteral("。"));
}

TEST_F(LexiconSyncTest, ASecondRejectionIsKeptWithoutAThirdAttempt) {
    server.enqueue(StandInHttpReply::json(401, "{\"message\":\"Token Is Invalid\"}"));
    server.enqueue(StandInHttpReply::json(401, "{\"message\":\"Token Is Invalid\"}"));
    server.enqueue(accepted());
    makeStore(true);
    gateway->defaultLexiconSync = route(QStringLiteral("tok-1"));
    makeViewModel();
    loadLexicon(cleanSnapshot());

    addHotword(QStringLiteral("Tovalit"));

    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(gateway->invalidations, 1);
    const std::optional<QString> error = storedSnapshot().cloudState.lastErrorMessage;
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains(QStringLiteral("Token Is Invalid"))) << error->toStdString();
    EXPECT_EQ(storedSnapshot().entries[0].cloudSyncStatus,
              PersonalLexiconCloudSyncStatus::localOnly);
    EXPECT_EQ(viewModel->personalLexiconSummary(), *error);
}

TEST_F(LexiconSyncTest, AConnectionTheGatewayDropsIsTriedOnANewSessionAndToldInChinese) {
    server.setHandler([](const RecordedHttpRequest &) { return StandInHttpReply::dropped(); });
    makeStore(true);
    gateway->defaultLexiconSync = route(QStringLiteral("tok-1"));
    makeViewModel();
    loadLexicon(cleanSnapshot());

    addHotword(QStringLiteral("Tovalit"));

    // A dropped socket may be a session the gateway forgot: renewed once.
    EXPECT_EQ(gateway->invalidations, 1);
    EXPECT_GE(server.requests().size(), 2u);
    // Then the network's fault, in the interface's words, on the page.
    EXPECT_EQ(storedSnapshot().cloudState.lastErrorMessage, connectionLost);
    EXPECT_EQ(viewModel->personalLexiconSummary(), connectionLost);
}

TEST_F(LexiconSyncTest, WithoutAGatewaySessionTheSyncGoesDirectAndIsNotRetried) {
    makeStore(true);
    gateway->lexiconSyncScript = {
        errorOf(TextError(QStringLiteral("网关会话注册失败：invalid_token")))};
    makeViewModel();
    loadLexicon(cleanSnapshot());

    addHotword(QStringLiteral("Tovalit"));

    EXPECT_EQ(gateway->lexiconSyncRequests, 1);
    EXPECT_EQ(gateway->invalidations, 0) << "the route's own failure is no stored message";
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(storedSnapshot().cloudState.lastErrorMessage, missingCredentials);
}

TEST_F(LexiconSyncTest, WithoutAGatewayTheDirectRouteNeedsItsKeys) {
    makeStore(false);
    gateway->defaultLexiconSync = route(QStringLiteral("tok-1"));
    makeViewModel();
    loadLexicon(cleanSnapshot());

    addHotword(QStringLiteral("Tovalit"));

    EXPECT_EQ(gateway->lexiconSyncRequests, 0) << "the gateway is not asked at all";
    EXPECT_TRUE(server.requests().empty());
    const PersonalLexiconSnapshot stored = storedSnapshot();
    EXPECT_EQ(stored.cloudState.lastErrorMessage, missingCredentials);
    EXPECT_EQ(stored.cloudState.lastSyncedAt, std::nullopt);
    EXPECT_EQ(stored.entries[0].cloudSyncStatus, PersonalLexiconCloudSyncStatus::localOnly);
    EXPECT_EQ(gateway->invalidations, 0);
}

TEST_F(LexiconSyncTest, EveryKindOfEntryShowsWhatItsSyncCameTo) {
    server.enqueue(acceptedBothTables());
    server.enqueue(StandInHttpReply::json(503, "{\"message\":\"busy\"}"));
    makeStore(true);
    gateway->defaultLexiconSync = route(QStringLiteral("tok-1"));
    makeViewModel();

    // Loading adds the hidden boost entry; "立即同步" uploads it.
    loadLexicon(everyKindOfEntry());
    EXPECT_TRUE(server.requests().empty()) << "loading never synchronises";
    runTask(viewModel->refreshPersonalLexicon());
    ASSERT_EQ(server.requests().size(), 1u);
    expectStatuses({QStringLiteral("Kestrel synced"), QStringLiteral("Tovalit synced hidden"),
                    QStringLiteral("托瓦利特 -> Tovalit synced")});

    addHotword(QStringLiteral("Ferrule"));
    ASSERT_EQ(server.requests().size(), 2u);
    ASSERT_TRUE(storedSnapshot().cloudState.lastErrorMessage.has_value());
    expectStatuses({QStringLiteral("Ferrule localOnly"), QStringLiteral("Kestrel localOnly"),
                    QStringLiteral("Tovalit localOnly hidden"),
                    QStringLiteral("托瓦利特 -> Tovalit localOnly")});
}

TEST_F(LexiconSyncTest, ARefreshWhileASyncIsOutKeepsWhatThatSyncCameTo) {
    server.setHandler([](const RecordedHttpRequest &) { return acceptedBothTables(); });
    makeStore(true);
    gateway->defaultLexiconSync = route(QStringLiteral("tok-1"));
    makeViewModel();
    loadLexicon(everyKindOfEntry());

    // An edit at a moment the file can only keep to the second.
    time.advance(0.4);
    const qsizetype saves = actions().count(QStringLiteral("persist_applied"));
    const std::shared_ptr<Gate> sync = addHotwordWithSyncHeld(QStringLiteral("Ferrule"));
    ASSERT_EQ(holdingGateway->heldSyncs, 1);
    // The refresh reads the file again at once; its own sync waits its turn.
    const qsizetype loads = actions().count(QStringLiteral("load_snapshot"));
    const auto refresh = startTask(viewModel->refreshPersonalLexicon());
    ASSERT_TRUE(waitForAction(QStringLiteral("load_snapshot"), loads + 1));
    EXPECT_TRUE(
        statuses(viewModel->personalLexiconEntries()).contains(QStringLiteral("Ferrule pending")));
    const std::shared_ptr<Gate> refreshSync = holdingGateway->holdNextSync();

    sync->open();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied"), saves + 1));
    expectStatuses({QStringLiteral("Ferrule synced"), QStringLiteral("Kestrel synced"),
                    QStringLiteral("Tovalit synced hidden"),
                    QStringLiteral("托瓦利特 -> Tovalit synced")});
    refreshSync->open();
    EXPECT_TRUE(waitUntil([&] { return refresh->done; }, "the refresh"));
}

TEST_F(LexiconSyncTest, SyncedEntriesStaySyncedThroughEveryRoutineSaveAndARestart) {
    server.setHandler([](const RecordedHttpRequest &) { return acceptedBothTables(); });
    useGatewayForSpeechOnly();
    gateway->defaultLexiconSync = route(QStringLiteral("tok-1"));
    makeViewModel();
    loadLexicon(everyKindOfEntry());
    const QStringList synced{QStringLiteral("Kestrel synced"),
                             QStringLiteral("Tovalit synced hidden"),
                             QStringLiteral("托瓦利特 -> Tovalit synced")};
    const auto pass = [&](const char *step) {
        SCOPED_TRACE(step);
        expectStatuses(synced);
    };

    // "立即同步" uploads, then its history pass stamps the day locally.
    time.advance(60);
    runTask(viewModel->refreshPersonalLexicon());
    ASSERT_EQ(storedSnapshot().historyLearningState.lastDailyBatchAt, time.now());
    pass("refresh");
    const std::size_t uploads = server.requests().size();
    EXPECT_EQ(uploads, 1u);

    // The next day's batch marks a record that teaches nothing.
    TranscriptRecord record;
    record.id = QUuid::createUuid();
    record.createdAt = time.now();
    record.duration = 2;
    record.transcript = QStringLiteral("this is it, thanks");
    record.status = TranscriptRecordStatus::completed;
    runTask(history.append(record));
    time.advance(24 * 3600);
    runTask(viewModel->loadHistory());
    ASSERT_EQ(storedSnapshot().historyLearningState.processedRecordIDs, QList<QUuid>{record.id});
    pass("daily batch");

    // The learning that follows a dictation finds no term either.
    dictate(QStringLiteral("this is it, thanks"));
    const QUuid dictated = lastRecord().id;
    ASSERT_TRUE(waitUntil(
        [&] { return storedSnapshot().historyLearningState.processedRecordIDs.contains(dictated); },
        "the dictation's learning"));
    settle();
    pass("dictation");

    viewModel->clearHistory();
    ASSERT_TRUE(waitUntil(
        [&] { return storedSnapshot().historyLearningState.processedRecordIDs.isEmpty(); },
        "the cleared bookkeeping"));
    settle();
    pass("clearing the history");
    EXPECT_EQ(server.requests().size(), uploads) << "none of these went to the cloud";

    // A restart with nothing due asks the cloud nothing (its day's batch
    // stamps the day again, locally).
    const int syncRequests = gateway->lexiconSyncRequests;
    const qsizetype localSaves = actions().count(QStringLiteral("persist_local_only"));
    viewModel.reset();
    startUp();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_local_only"), localSaves + 1));
    pass("restart");
    EXPECT_EQ(gateway->lexiconSyncRequests, syncRequests);
    EXPECT_EQ(server.requests().size(), uploads);
}

TEST_F(LexiconSyncTest, AStartUpSyncThatNeverAnswersHoldsUpNoLoadNorAnInstruction) {
    useGatewayForSpeechOnly();
    gateway->defaultLexiconSync = route(QStringLiteral("tok-1"));
    gateway->defaultFormatter = VellupStructuredFormatterConfiguration{
        server.url(QStringLiteral("/api/proxy/format")), QStringLiteral("instruction-model"),
        QString(), QString(), QStringLiteral("tok-1")};
    const InstructionLibraryEntry weekly = InstructionLibraryEntry::makeCustom(
        std::nullopt, QStringLiteral("周报整理"), QStringLiteral("把流水账整理成周报"),
        QStringLiteral("把用户的流水账整理成周报。"), InstructionLibraryCategory::writing, true,
        1200, time.now(), time.now());
    InstructionLibraryStore library(dataFolder());
    runTask(library.saveSnapshot(InstructionLibraryCatalog::defaultSnapshot({weekly})));
    TranscriptRecord record;
    record.id = QUuid::createUuid();
    record.createdAt = time.now();
    record.transcript = QStringLiteral("上周的记录");
    record.status = TranscriptRecordStatus::failed;
    runTask(history.append(record));
    const QString notice = QStringLiteral("旧的数据文件夹无法移动");
    adjustDependencies = [this, notice](TranscriberViewModel::Dependencies &d) {
        d.gatewaySessionService = holdingGateway;
        d.takeDataFolderMoveNotice = [notice] { return std::optional<QString>(notice); };
    };

    // A first start: the new namespace is due for the cloud, which never
    // answers.
    const std::shared_ptr<Gate> sync = holdingGateway->holdNextSync();
    startUp();
    ASSERT_TRUE(waitUntil([&] { return holdingGateway->heldSyncs == 1; }, "the start-up sync"));
    EXPECT_EQ(viewModel->records().size(), 1);
    EXPECT_EQ(viewModel->instructionLibraryEntries().size(), 1);
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_EQ(viewModel->appToast()->message, notice);

    server.enqueue(StandInHttpReply::json(200, chatReply(QStringLiteral("本周：修复三个缺陷。"))));
    dictate(QStringLiteral("用周报整理指令，今天修了三个bug"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].path(), "/api/proxy/format");
    ASSERT_EQ(insertionCalls.size(), 1u);
    EXPECT_EQ(insertionCalls[0].text, QStringLiteral("本周：修复三个缺陷。"));
    EXPECT_EQ(actions().count(QStringLiteral("cloud_sync_resolved")), 0) << "still out";

    // Its answer, whenever it comes, is saved with the lexicon.
    server.enqueue(accepted());
    sync->open();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied")));
    EXPECT_EQ(storedSnapshot().cloudState.hotwordTableID, QStringLiteral("ht-7"));
    EXPECT_EQ(storedSnapshot().cloudState.syncNamespace,
              viewModel->personalLexiconCloudState().syncNamespace);
}

} // namespace
} // namespace tovalit
