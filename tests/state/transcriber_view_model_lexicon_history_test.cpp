#include "tests/state/transcriber_view_model_lexicon_harness.h"
#include "tests/support/scoped_time_zone.h"
#include "tests/support/stand_in_http_server.h"

namespace tovalit {
namespace {

using namespace testing;

class HistoryLearningTest : public LexiconTest {
protected:
    TranscriptRecord addRecord(const QString &transcript,
                               TranscriptRecordStatus status = TranscriptRecordStatus::completed) {
        TranscriptRecord record;
        record.id = QUuid::createUuid();
        record.createdAt = time.now();
        record.duration = 4;
        record.transcript = transcript;
        record.status = status;
        runTask(history.append(record));
        // Records keep a clear order, newest first.
        time.advance(1);
        return record;
    }
    // Moves the clock to `time` on the day after today, in local time.
    void advanceToNextDayAt(QTime at) {
        const QDateTime now = time.now().toLocalTime();
        const QDateTime target(now.date().addDays(1), at, Qt::LocalTime);
        time.advance(double(now.secsTo(target)));
    }
    void advanceToTodayAt(QTime at) {
        const QDateTime now = time.now().toLocalTime();
        time.advance(double(now.secsTo(QDateTime(now.date(), at, Qt::LocalTime))));
    }
    std::optional<PersonalLexiconEntry> learned(const QString &target) const {
        for (const PersonalLexiconEntry &entry : viewModel->personalLexiconEntries()) {
            if (entry.targetText == target)
                return entry;
        }
        return std::nullopt;
    }
};

TEST_F(HistoryLearningTest, TheDailyBatchCountsATermRecordByRecordAndRunsOnceADay) {
    ScopedTimeZone zone("CST-8");
    makeStore(true);
    makeViewModel();
    loadLexicon(cleanSnapshot());
    const TranscriptRecord first = addRecord(QStringLiteral("我们今天用Kestrel跑了回归"));
    addRecord(QStringLiteral("Kestrel 没有跑完"), TranscriptRecordStatus::failed);
    addRecord(QStringLiteral(" \n "));
    qsizetype skip = actions().size();

    runTask(viewModel->loadHistory());
    EXPECT_EQ(actionsSince(skip), QStringList()) << "today's batch has already run";

    // Just after midnight: the new day's batch learns the first sighting.
    advanceToNextDayAt(QTime(0, 1));
    runTask(viewModel->loadHistory());
    EXPECT_EQ(actionsSince(skip), (QStringList{QStringLiteral("cloud_sync_resolved"),
                                               QStringLiteral("persist_applied")}));
    ASSERT_TRUE(learned(QStringLiteral("Kestrel")).has_value());
    EXPECT_EQ(learned(QStringLiteral("Kestrel"))->hitCount, 1);
    EXPECT_EQ(learned(QStringLiteral("Kestrel"))->cloudSyncStatus,
              PersonalLexiconCloudSyncStatus::localOnly)
        << "a candidate until three records have named it";
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState().processedRecordIDs,
              QList<QUuid>{first.id})
        << "failed and blank records are never learned from";
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState().lastDailyBatchAt, time.now());

    // Late the same day a new record waits for tomorrow; a refresh runs
    // anyway.
    advanceToTodayAt(QTime(23, 59));
    const TranscriptRecord second = addRecord(QStringLiteral("Kestrel 的第二轮结果"));
    skip = actions().size();
    runTask(viewModel->loadHistory());
    EXPECT_EQ(actionsSince(skip), QStringList());
    runTask(viewModel->refreshPersonalLexicon());
    EXPECT_EQ(learned(QStringLiteral("Kestrel"))->hitCount, 2);
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState().lastDailyBatchAt, time.now());

    // Two minutes later it is another day.
    const TranscriptRecord third = addRecord(QStringLiteral("Kestrel 第三次出现"));
    time.advance(120);
    runTask(viewModel->loadHistory());
    EXPECT_EQ(learned(QStringLiteral("Kestrel"))->hitCount, 3);
    EXPECT_EQ(learned(QStringLiteral("Kestrel"))->cloudSyncStatus,
              PersonalLexiconCloudSyncStatus::pending);
    EXPECT_EQ(storedSnapshot().historyLearningState.processedRecordIDs,
              (QList<QUuid>{first.id, second.id, third.id}));
    EXPECT_EQ(actions().count(QStringLiteral("cloud_sync_resolved")), 4)
        << "each batch that changed entries asked for a sync, and so did the refresh";

    // Records already learned from are never counted again.
    runTask(viewModel->refreshPersonalLexicon());
    EXPECT_EQ(learned(QStringLiteral("Kestrel"))->hitCount, 3);
}

TEST_F(HistoryLearningTest, OverlappingBatchesCountEachRecordOnceAndKeepTheUsersDeletions) {
    makeStore(true);
    makeViewModel();
    const PersonalLexiconEntry kestrel =
        lexiconEntry(PersonalLexiconEntryKind::hotword, std::nullopt, QStringLiteral("Kestrel"),
                     PersonalLexiconEntrySource::historyFrequency, 1);
    const PersonalLexiconEntry zephyra =
        lexiconEntry(PersonalLexiconEntryKind::hotword, std::nullopt, QStringLiteral("Zephyra"),
                     PersonalLexiconEntrySource::historyFrequency, 1);
    loadLexicon(cleanSnapshot({kestrel, zephyra}));
    const TranscriptRecord first = addRecord(QStringLiteral("Kestrel 和 Zephyra 的进度"));
    runTask(viewModel->loadHistory());

    // A refresh's batch waits for its term extractor...
    const std::shared_ptr<Gate> extractor = holdingGateway->holdNextHistoryExtraction();
    QCoro::Task<void> slow = viewModel->refreshPersonalLexicon();
    ASSERT_TRUE(waitUntil([&] { return holdingGateway->heldExtractions == 1; },
                          "the slow batch to ask for its extractor"));

    // ...while the user throws a learned word out, a new dictation arrives
    // and another refresh learns from the history.
    const qsizetype saves = actions().count(QStringLiteral("persist_applied"));
    viewModel->deleteLexiconEntry(zephyra);
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied"), saves + 1));
    const TranscriptRecord second = addRecord(QStringLiteral("Kestrel 的第二轮结果"));
    runTask(viewModel->loadHistory());
    runTask(viewModel->refreshPersonalLexicon());

    extractor->open();
    runTask(std::move(slow));

    // Each record counts once, both are remembered, and the word thrown out
    // stays out.
    ASSERT_TRUE(learned(QStringLiteral("Kestrel")).has_value());
    EXPECT_EQ(learned(QStringLiteral("Kestrel"))->hitCount, 3);
    EXPECT_FALSE(learned(QStringLiteral("Zephyra")).has_value());
    const PersonalLexiconHistoryLearningState state = storedSnapshot().historyLearningState;
    EXPECT_EQ(QSet<QUuid>(state.processedRecordIDs.cbegin(), state.processedRecordIDs.cend()),
              (QSet<QUuid>{first.id, second.id}));
    EXPECT_EQ(state.processedRecordIDs.size(), 2);
    EXPECT_EQ(state.ignoredNormalizedTerms, QStringList{QStringLiteral("zephyra")});
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState(), state);
}

TEST_F(HistoryLearningTest, ADayWithoutNewRecordsIsStampedWithALocalSaveOnly) {
    PersonalLexiconSnapshot snapshot = cleanSnapshot();
    snapshot.historyLearningState.lastDailyBatchAt = time.now().addDays(-1);
    storeSnapshot(snapshot);
    makeStore(true);
    startUp();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_local_only")));

    EXPECT_EQ(actions(),
              (QStringList{QStringLiteral("load_snapshot"), QStringLiteral("persist_local_only")}));
    EXPECT_EQ(storedSnapshot().historyLearningState.lastDailyBatchAt, time.now());
}

TEST_F(HistoryLearningTest,
       TheTermExtractorServesEveryRecordAndAFailureFallsBackForThatRecordOnly) {
    StandInHttpServer server;
    const auto reply = [](const char *terms) {
        const QByteArray content = QByteArray("{\\\"terms\\\":[") + terms + "]}";
        return StandInHttpReply::json(200, "{\"choices\":[{\"message\":{\"content\":\"" + content +
                                               "\"}}]}");
    };
    server.enqueue(reply("\\\"Kestrel\\\""));
    server.enqueue(StandInHttpReply::json(500, "{\"message\":\"busy\"}"));
    server.enqueue(reply("\\\"Kestrel\\\""));
    makeStore(true);
    gateway->defaultHistoryExtractor = VellupStructuredFormatterConfiguration{
        server.url(QStringLiteral("/api/proxy/format")), QStringLiteral("vellup-model"), QString(),
        QString(), QStringLiteral("tok-1")};
    makeViewModel();
    loadLexicon(cleanSnapshot());
    addRecord(QStringLiteral("今天的例会"));
    addRecord(QStringLiteral("Zephyra 的进度"));
    addRecord(QStringLiteral("明天继续"));
    runTask(viewModel->loadHistory());

    runTask(viewModel->refreshPersonalLexicon());
    ASSERT_EQ(server.requests().size(), 3u) << "one request per record, the failed one included";
    EXPECT_EQ(server.requests()[2].header("Authorization"), QByteArray("Bearer tok-1"));
    ASSERT_TRUE(learned(QStringLiteral("Kestrel")).has_value());
    EXPECT_EQ(learned(QStringLiteral("Kestrel"))->hitCount, 2) << "the model's terms";
    ASSERT_TRUE(learned(QStringLiteral("Zephyra")).has_value()) << "the failed record's own words";
    EXPECT_EQ(learned(QStringLiteral("Zephyra"))->hitCount, 1);
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState().processedRecordIDs.size(), 3);
}

TEST_F(HistoryLearningTest, ADictationEndsBeforeItsLearningWhichNeverSpeaksOverALaterOne) {
    makeStore(true);
    gateway->defaultSpeech = gatewaySpeech();
    makeViewModel();
    loadLexicon(cleanSnapshot());

    // A sync of the user's own edit is out on a slow network.
    const qsizetype synced = actions().count(QStringLiteral("persist_applied"));
    const std::shared_ptr<Gate> sync = addHotwordWithSyncHeld(QStringLiteral("Ferrule"));
    ASSERT_EQ(holdingGateway->heldSyncs, 1);

    // The dictation is delivered and over while that sync is still out;
    // what it teaches waits its turn behind it.
    dictate(QStringLiteral("Kestrel 的进度"));
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_EQ(insertionCalls.size(), 1u);
    EXPECT_TRUE(viewModel->lastResultMessage().has_value());
    EXPECT_EQ(panel->last(), QStringLiteral("completion -"));
    sync->open();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied"), synced + 2));
    ASSERT_TRUE(learned(QStringLiteral("Kestrel")).has_value());

    // The dictation's own message first, then what its learning has to say.
    refusingStore->refuseSaves = true;
    panel->clear();
    const qsizetype failed = actions().count(QStringLiteral("persist_failed"));
    dictate(QStringLiteral("Zephyra 的进度"));
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_failed"), failed + 1));
    const QStringList calls = panel->calls();
    ASSERT_GE(calls.size(), 2);
    EXPECT_EQ(calls[calls.size() - 2], QStringLiteral("completion -"));
    EXPECT_TRUE(calls.last().startsWith(QStringLiteral("toast 个人词库保存失败：")))
        << calls.last().toStdString();

    // A learning still at work when the next dictation begins keeps quiet.
    const std::shared_ptr<Gate> extraction = holdingGateway->holdNextHistoryExtraction();
    dictate(QStringLiteral("Quokka 的进度"));
    ASSERT_TRUE(waitUntil([&] { return holdingGateway->heldExtractions == 1; },
                          "the learning to ask for its extractor"));
    panel->clear();
    startRecording();
    extraction->open();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_failed"), failed + 2));
    for (const QString &call : panel->calls())
        EXPECT_FALSE(call.startsWith(QStringLiteral("toast 个人词库保存失败：")))
            << call.toStdString();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
}

} // namespace
} // namespace tovalit
