#include "services/history/history_file_codec.h"
#include "services/speech/vellup_audio_file_transcriber_error.h"
#include "tests/state/view_model_harness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tovalit {
namespace {

using namespace testing;

class HistoryTest : public ViewModelTest {
protected:
    void SetUp() override { useGateway(); }

    // An archived recording and its record, as an earlier dictation left
    // them.
    TranscriptRecord archivedRecord(double duration = 12.0) {
        const QString name = QStringLiteral("0F6A6A4C-0000-4000-8000-000000000001.m4a");
        QFile file(history.recordingsDirectoryNow() + u'/' + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("m4a");
        file.close();
        TranscriptRecord record;
        record.id = QUuid::createUuid();
        record.createdAt = time.now().addDays(-1);
        record.duration = duration;
        record.transcript = QStringLiteral("旧的文本");
        record.audioFileName = name;
        record.status = TranscriptRecordStatus::failed;
        record.note = QStringLiteral("本次未产出可用文本，可使用归档录音重试");
        const QList<TranscriptRecord> stored = runTask(history.append(record));
        return stored.value(0);
    }

    void retry(const TranscriptRecord &record) {
        runTask(viewModel->retryArchivedRecording(record));
    }
};

TEST_F(HistoryTest, ARetryRecognisesTheArchivedRecordingAndFilesANewRecord) {
    const TranscriptRecord old = archivedRecord(12.0);
    fileAnswers.fallback = QStringLiteral("重新识别的文本");
    formatterAnswers.fallback = QStringLiteral("重新识别的文本。");
    makeViewModel();
    runTask(viewModel->loadHistory());
    ASSERT_EQ(viewModel->records().size(), 1);
    // The history page's button starts the retry on the event loop.
    viewModel->retryRecord(old);
    // The retry ends after its record has gone to history learning.
    ASSERT_TRUE(waitUntil(
        [&] { return viewModel->records().size() == 2 && viewModel->lastResultMessage(); },
        "the retry"));

    ASSERT_EQ(fileCalls.size(), 1u);
    EXPECT_EQ(fileCalls[0].audioFile, history.recordingsDirectoryNow() + u'/' + *old.audioFileName);
    EXPECT_EQ(formatterCalls.at(0).task.asNatural()->stage, NaturalModeStage::mediumCleanup)
        << "a 12 s recording";
    EXPECT_EQ(insertionCalls.at(0).text, QStringLiteral("重新识别的文本。"));
    EXPECT_EQ(panel->calls().first(), QStringLiteral("thinking 重新转写"));
    EXPECT_TRUE(panel->calls().contains(QStringLiteral("thinking 准备插入")))
        << "a retry shows every step";

    ASSERT_EQ(viewModel->records().size(), 2);
    const TranscriptRecord fresh = viewModel->records().value(0);
    EXPECT_EQ(viewModel->records().value(1), old) << "the retried record stays as it was";
    EXPECT_NE(fresh.id, old.id);
    EXPECT_EQ(fresh.audioFileName, old.audioFileName);
    EXPECT_DOUBLE_EQ(fresh.duration, 12.0);
    EXPECT_EQ(fresh.transcript, QStringLiteral("重新识别的文本。"));
    EXPECT_EQ(fresh.rawTranscript, QStringLiteral("重新识别的文本"));
    EXPECT_EQ(fresh.status, TranscriptRecordStatus::completed);
    EXPECT_EQ(fresh.note, QStringLiteral("已重新上传归档录音并完成转写；已插入"));
    EXPECT_EQ(viewModel->lastResultMessage(), fresh.note);
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
}

TEST_F(HistoryTest, ARetryWithoutDeliveryOrNotesSaysOnlyThatItRanAgain) {
    const TranscriptRecord old = archivedRecord(10.0);
    store->setAutoInsertIntoFocusedInput(false);
    store->setAutoCopyFinalText(false);
    fileAnswers.fallback = QStringLiteral("一模一样");
    formatterAnswers.fallback = QStringLiteral("一模一样");
    makeViewModel();
    retry(old);
    const TranscriptRecord fresh = viewModel->records().value(0);
    EXPECT_EQ(fresh.note, QStringLiteral("已重新上传归档录音并完成转写"));
    EXPECT_EQ(fresh.rawTranscript, std::nullopt) << "heard and delivered text are the same";
    EXPECT_EQ(formatterCalls.at(0).task.asNatural()->stage, NaturalModeStage::shortCleanup)
        << "exactly 10 s is short";
}

TEST_F(HistoryTest, ARetryIsRefusedWhileBusyAndWithoutARecording) {
    const TranscriptRecord old = archivedRecord();
    makeViewModel();
    startRecording();
    viewModel->retryRecord(old);
    settle();
    EXPECT_TRUE(fileCalls.empty());
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
    panel->onCancel();
    settle();

    TranscriptRecord withoutAudio = old;
    withoutAudio.audioFileName.reset();
    viewModel->retryRecord(withoutAudio);
    settle();
    EXPECT_EQ(viewModel->recordingState(),
              RecordingState::failed(QStringLiteral("这条记录没有可重试的录音文件。")));
    TranscriptRecord outsideTheFolder = old;
    outsideTheFolder.audioFileName = QStringLiteral("../secret.m4a");
    panel->clear();
    viewModel->retryRecord(outsideTheFolder);
    settle();
    EXPECT_EQ(viewModel->recordingState(),
              RecordingState::failed(QStringLiteral("这条记录没有可重试的录音文件。")));
    EXPECT_TRUE(panel->calls().isEmpty());
    EXPECT_TRUE(fileCalls.empty());

    // No speech configuration: nothing is written.
    gateway->defaultSpeech.reset();
    retry(old);
    EXPECT_EQ(viewModel->recordingState(),
              RecordingState::failed(QStringLiteral("Vellup ASR 配置不可用，暂时无法重试。")));
    EXPECT_EQ(panel->last(), QStringLiteral("hide"));
    EXPECT_EQ(runTask(history.loadRecords()).size(), 1);
}

TEST_F(HistoryTest, AFailedRetryIsFiledAsAFailedRecordAfterOneSessionRecovery) {
    const TranscriptRecord old = archivedRecord();
    const VellupAudioFileTranscriberError rejected =
        VellupAudioFileTranscriberError::requestFailed(401, QStringLiteral("invalid_token"));
    fileAnswers.script = {errorOf(rejected), errorOf(rejected)};
    makeViewModel();
    runTask(viewModel->loadHistory());
    retry(old);

    EXPECT_EQ(gateway->invalidations, 1);
    EXPECT_EQ(fileCalls.size(), 2u);
    const QString message = QStringLiteral("重试失败：本地 Gateway 会话已自动重连但仍未恢复：") +
                            rejected.localizedDescription();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::failed(message));
    EXPECT_EQ(viewModel->lastResultMessage(), message);
    EXPECT_EQ(panel->last(), QStringLiteral("hide"));
    ASSERT_EQ(viewModel->records().size(), 2);
    const TranscriptRecord failed = viewModel->records().value(0);
    EXPECT_EQ(failed.status, TranscriptRecordStatus::failed);
    EXPECT_EQ(failed.note, message);
    EXPECT_EQ(failed.transcript, old.transcript) << "nothing new was recognised";
    EXPECT_EQ(failed.rawTranscript, std::nullopt) << "the same text is not kept twice";
    EXPECT_EQ(failed.audioFileName, old.audioFileName);
    EXPECT_DOUBLE_EQ(failed.duration, old.duration);
    EXPECT_TRUE(insertionCalls.empty());
}

TEST_F(HistoryTest, DeletingClearingAndShowingFiles) {
    const TranscriptRecord old = archivedRecord();
    makeViewModel();
    runTask(viewModel->loadHistory());
    ASSERT_EQ(viewModel->records().size(), 1);

    // Each looks its file up on its own; the two may end in either order.
    viewModel->revealAudioFile(old);
    viewModel->revealTranscriptFile(old);
    ASSERT_TRUE(waitUntil([&] { return fileViewer->revealed().size() == 2; }, "both files"));
    QList<QStringList> revealed = fileViewer->revealed();
    std::sort(revealed.begin(), revealed.end());
    EXPECT_EQ(revealed[0],
              QStringList{history.recordingsDirectoryNow() + u'/' + *old.audioFileName});
    EXPECT_TRUE(revealed[1].value(0).endsWith(*old.transcriptFileName));
    TranscriptRecord noFiles = old;
    noFiles.audioFileName.reset();
    noFiles.transcriptFileName = QStringLiteral("../../etc/passwd");
    viewModel->revealAudioFile(noFiles);
    viewModel->revealTranscriptFile(noFiles);
    settle();
    EXPECT_EQ(fileViewer->revealed().size(), 2) << "no file, or no plain file name: nothing shown";

    viewModel->deleteRecord(old);
    ASSERT_TRUE(waitUntil([&] { return viewModel->records().isEmpty(); }, "the deletion"));
    EXPECT_TRUE(recordingFiles().isEmpty());

    archivedRecord();
    runTask(viewModel->loadHistory());
    ASSERT_EQ(viewModel->records().size(), 1);
    viewModel->clearHistory();
    ASSERT_TRUE(waitUntil([&] { return viewModel->records().isEmpty(); }, "the clearing"));
    EXPECT_TRUE(runTask(history.loadRecords()).isEmpty());
}

TEST_F(HistoryTest, ClearingTheHistorySparesTheRecordingsOfWorkStillUnderWay) {
    archivedRecord();
    // The live recogniser hears nothing, so every stop recognises its file.
    defaultTranscriberScript.finishText = QString();
    fileAnswers.fallback = QStringLiteral("从录音识别的文本");
    makeViewModel();
    runTask(viewModel->loadHistory());
    const auto clearHistory = [&] {
        viewModel->clearHistory();
        ASSERT_TRUE(
            waitUntil([&] { return runTask(history.loadRecords()).isEmpty(); }, "the clearing"));
        settle();
    };
    const auto recordingOf = [&](const TranscriptRecord &record) -> QString {
        return history.recordingsDirectoryNow() + u'/' + record.audioFileName.value_or(QString());
    };

    // Cleared while the microphone records: the archive goes, the running
    // recording stays and ends up in the new record.
    captureClock = 100.0;
    startRecording();
    feed(1);
    ASSERT_EQ(recordingFiles().size(), 2);
    clearHistory();
    ASSERT_EQ(recordingFiles().size(), 1) << "only the recording in progress is left";
    captureClock = 103.0;
    stopRecording();
    ASSERT_EQ(viewModel->recordingState(), RecordingState::idle());
    ASSERT_EQ(fileCalls.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(fileCalls[0].audioFile));
    const TranscriptRecord recorded = lastRecord();
    EXPECT_TRUE(QFileInfo::exists(recordingOf(recorded)))
        << "the record names a file that is there";

    // Cleared while a stop recognises its recording.
    fileAnswers.gate = std::make_shared<Gate>();
    captureClock = 200.0;
    startRecording();
    captureClock = 203.0;
    time.advance(2.0);
    panel->onFinish();
    ASSERT_TRUE(waitUntil([&] { return fileCalls.size() == 2u; }, "the stop's recognition"));
    clearHistory();
    EXPECT_FALSE(QFileInfo::exists(recordingOf(recorded))) << "a finished dictation is history";
    fileAnswers.gate->open();
    ASSERT_TRUE(waitUntil([&] { return viewModel->recordingState() == RecordingState::idle(); },
                          "the stop"));
    const TranscriptRecord stopped = lastRecord();
    ASSERT_EQ(runTask(history.loadRecords()).size(), 1);
    EXPECT_TRUE(QFileInfo::exists(recordingOf(stopped)));

    // Cleared while a retry recognises the recording again: the retried
    // record goes, its recording stays with the retry's new record.
    fileAnswers.gate = std::make_shared<Gate>();
    viewModel->retryRecord(stopped);
    ASSERT_TRUE(waitUntil([&] { return fileCalls.size() == 3u; }, "the retry's recognition"));
    clearHistory();
    fileAnswers.gate->open();
    ASSERT_TRUE(waitUntil([&] { return viewModel->recordingState() == RecordingState::idle(); },
                          "the retry"));
    const QList<TranscriptRecord> afterRetry = runTask(history.loadRecords());
    ASSERT_EQ(afterRetry.size(), 1);
    EXPECT_EQ(afterRetry[0].audioFileName, stopped.audioFileName);
    EXPECT_TRUE(QFileInfo::exists(recordingOf(afterRetry[0])));

    // Once their records exist, clearing takes the recordings with them.
    clearHistory();
    EXPECT_TRUE(recordingFiles().isEmpty());
}

TEST_F(HistoryTest, RecordsDeletedJustBeforeAStopOrARetryStayDeleted) {
    const TranscriptRecord old = archivedRecord();
    const auto plainRecord = [&](const QString &text, int minutesAgo) {
        const TranscriptRecord record{QUuid::createUuid(),
                                      time.now().addSecs(-60 * minutesAgo),
                                      2.0,
                                      text,
                                      std::nullopt,
                                      std::nullopt,
                                      std::nullopt,
                                      TranscriptRecordStatus::completed,
                                      std::nullopt};
        runTask(history.append(record));
        return record;
    };
    const TranscriptRecord first = plainRecord(QStringLiteral("先删的"), 5);
    const TranscriptRecord second = plainRecord(QStringLiteral("后删的"), 4);
    defaultTranscriberScript.finishText = QStringLiteral("新的一段");
    fileAnswers.fallback = QStringLiteral("重新识别的文本");
    makeViewModel();
    runTask(viewModel->loadHistory());
    ASSERT_EQ(viewModel->records().size(), 3);

    const auto storedIDs = [&] {
        QList<QUuid> ids;
        for (const TranscriptRecord &record : runTask(history.loadRecords()))
            ids << record.id;
        return ids;
    };
    // A deletion the store has carried out whose answer has not reached the
    // list yet: the stop's record joins what the store holds.
    startRecording();
    runTask(history.deleteRecord(first.id));
    stopRecording();
    ASSERT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_FALSE(storedIDs().contains(first.id));
    EXPECT_EQ(viewModel->records().size(), 3) << "the old record, the later one and the new one";

    // The same for a retry.
    runTask(history.deleteRecord(second.id));
    retry(old);
    ASSERT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_FALSE(storedIDs().contains(second.id));
    EXPECT_EQ(viewModel->records().size(), 3) << "the retried record, the stop's and the retry's";
}

TEST_F(HistoryTest, DeletingARecordDuringItsRetryTakesTheRetrysRecordAndTheRecordingToo) {
    const TranscriptRecord old = archivedRecord();
    fileAnswers.fallback = QStringLiteral("重新识别的文本");
    fileAnswers.gate = std::make_shared<Gate>();
    makeViewModel();
    runTask(viewModel->loadHistory());
    viewModel->retryRecord(old);
    ASSERT_TRUE(waitUntil([&] { return fileCalls.size() == 1u; }, "the retry's recognition"));

    viewModel->deleteRecord(old);
    settle();
    EXPECT_EQ(recordingFiles(), QStringList{*old.audioFileName}) << "the retry still reads it";
    fileAnswers.gate->open();
    ASSERT_TRUE(waitUntil(
        [&] {
            return viewModel->recordingState() == RecordingState::idle() &&
                   viewModel->records().isEmpty();
        },
        "the retry, then the deletion"));
    EXPECT_TRUE(runTask(history.loadRecords()).isEmpty());
    EXPECT_TRUE(recordingFiles().isEmpty());
}

TEST_F(HistoryTest, AControllerThatGoesWhileARetryWaitsLeavesTheRetryToEndUnheard) {
    const TranscriptRecord old = archivedRecord();
    fileAnswers.fallback = QStringLiteral("重新识别的文本");
    formatterAnswers.fallback = QStringLiteral("重新识别的文本。");

    // The delivery waits for the focused input past the application's end:
    // the retry then files nothing and tells nobody.
    const auto insertion = std::make_shared<Gate>();
    adjustDependencies = [this, insertion](TranscriberViewModel::Dependencies &d) {
        d.insertionRunner =
            [this, insertion](QString text, std::optional<ActiveInteractionContext> context,
                              ObservedInsertionEditCallback, std::unique_ptr<ClipboardHeadStart>) {
                insertionCalls.push_back({text, context});
                return answerAfter<InsertionResult>(InsertionResult::insertedDirectly, insertion);
            };
    };
    makeViewModel();
    viewModel->retryRecord(old);
    ASSERT_TRUE(waitUntil([&] { return insertionCalls.size() == 1u; }, "the retry's delivery"));
    viewModel.reset();
    insertion->open();
    settle();
    EXPECT_EQ(runTask(history.loadRecords()).size(), 1);

    // The retry's record, then a failed retry's, on their way into the
    // store when the controller goes: the store files them all the same.
    adjustDependencies = nullptr;
    const TextError dropped(QStringLiteral("连接已断开"));
    for (const bool recognitionFails : {false, true}) {
        // Later records come first.
        time.advance(60.0);
        if (recognitionFails)
            fileAnswers.script = {errorOf(dropped), errorOf(dropped)};
        makeViewModel();
        historyPause.arm();
        viewModel->retryRecord(old);
        ASSERT_TRUE(waitUntil([&] { return historyPause.reached(); }, "the retry's save"));
        viewModel.reset();
        historyPause.resume();
        settle();
    }
    const QList<TranscriptRecord> stored = runTask(history.loadRecords());
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored[0].status, TranscriptRecordStatus::failed);
    EXPECT_EQ(stored[1].status, TranscriptRecordStatus::completed);
    EXPECT_EQ(recordingFiles(), QStringList{*old.audioFileName});
}

TEST_F(HistoryTest, ARecordingStaysHeldFromARefusedSaveOfItsRecordToTheNextAttempt) {
    defaultTranscriberScript.finishText = QStringLiteral("说完的话");
    formatterAnswers.fallback = QStringLiteral("说完的话。");
    makeViewModel();
    ASSERT_NO_FATAL_FAILURE(recordWithoutStopping(3.0));

    // The store stops in the stop's save, after reading the history: the
    // save will fail (a folder has taken history.json's place), and the
    // user clears the history meanwhile, which sets that folder aside.
    historyPause.arm();
    QCoro::Task<void> stopping = viewModel->toggleRecording();
    ASSERT_TRUE(waitUntil([&] { return historyPause.reached(); }, "the stop's save"));
    ASSERT_TRUE(QDir().mkpath(dataFolder() + QStringLiteral("/history.json")));
    QCoro::Task<void> cleared = history.clearAllRecords();
    historyPause.resume();
    runTask(std::move(stopping));
    runTask(std::move(cleared));

    ASSERT_EQ(viewModel->recordingState().kind(), RecordingState::Case::failed);
    const QList<TranscriptRecord> stored = runTask(history.loadRecords());
    ASSERT_EQ(stored.size(), 1) << "the second attempt saved the failed record";
    ASSERT_TRUE(stored[0].audioFileName.has_value());
    EXPECT_EQ(recordingFiles(), QStringList{*stored[0].audioFileName})
        << "the clearing between the attempts left the recording the record names";
}

TEST_F(HistoryTest, AHistoryFailureDuringARecordingIsAToastAndTheRecordingStillEnds) {
    const TranscriptRecord old = archivedRecord();
    defaultTranscriberScript.finishText = QStringLiteral("说完的话");
    formatterAnswers.fallback = QStringLiteral("说完的话。");
    makeViewModel();
    runTask(viewModel->loadHistory());
    startRecording();

    // history.json cannot be read: a reload and a delete both fail while
    // the user is dictating.
    const QString historyFile = dataFolder() + QStringLiteral("/history.json");
    QFile::remove(historyFile);
    ASSERT_TRUE(QDir().mkpath(historyFile));
    runTask(viewModel->loadHistory());
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_TRUE(viewModel->appToast()->message.startsWith(QStringLiteral("历史记录加载失败：")));
    EXPECT_TRUE(viewModel->appToast()->isError);
    viewModel->deleteRecord(old);
    ASSERT_TRUE(waitUntil(
        [&] {
            return viewModel->appToast() &&
                   viewModel->appToast()->message.startsWith(QStringLiteral("删除历史失败："));
        },
        "the failed deletion"));
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
    EXPECT_EQ(viewModel->records().size(), 1) << "the list stays as it was";

    // The next press stops the recording and delivers what was said.
    ASSERT_TRUE(QDir().rmdir(historyFile));
    stopRecording();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_FALSE(capture->isRecording()) << "the microphone is off";
    ASSERT_EQ(insertionCalls.size(), 1u);
    EXPECT_EQ(insertionCalls[0].text, QStringLiteral("说完的话。"));
    EXPECT_EQ(viewModel->records().value(0).transcript, QStringLiteral("说完的话。"));
}

TEST_F(HistoryTest, RecordsReadWhoseTidiedListCannotBeWrittenBackAreShown) {
    // A valid history.json out of order: the load writes the list back.
    TranscriptRecord older = archivedRecord();
    TranscriptRecord newer = older;
    newer.id = QUuid::createUuid();
    newer.createdAt = older.createdAt.addSecs(60);
    newer.transcriptFileName.reset();
    const QList<TranscriptRecord> stored = runTask(history.append(newer));
    ASSERT_EQ(stored.size(), 2);
    const QString historyFile = dataFolder() + QStringLiteral("/history.json");
    QFile reversed(historyFile);
    ASSERT_TRUE(reversed.open(QIODevice::WriteOnly));
    reversed.write(HistoryFileCodec::encode({stored[1], stored[0]}));
    reversed.close();
    makeViewModel();

    // The write-back fails: history.json becomes a folder once it is read,
    // as the disk fills up.
    historyPause.arm();
    QCoro::Task<void> loading = viewModel->loadHistory();
    ASSERT_TRUE(waitUntil([&] { return historyPause.reached(); }, "the load's rebuild"));
    ASSERT_TRUE(QFile::remove(historyFile));
    ASSERT_TRUE(QDir().mkpath(historyFile));
    historyPause.resume();
    runTask(std::move(loading));

    EXPECT_EQ(viewModel->records(), stored);
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle())
        << viewModel->recordingState().failureMessage().toStdString();
    EXPECT_FALSE(viewModel->appToast().has_value());
}

TEST_F(HistoryTest, AnUnreadableHistoryFailsTheLoadAndADamagedOneIsRebuiltAndTheUserToldOnce) {
    const TranscriptRecord old = archivedRecord();
    const QString historyFile = dataFolder() + QStringLiteral("/history.json");
    const QByteArray written = [&] {
        QFile file(historyFile);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }();
    ASSERT_TRUE(QFile::remove(historyFile));
    // A folder in its place cannot be read: the load fails and leaves it.
    ASSERT_TRUE(QDir().mkpath(historyFile));
    makeViewModel();
    runTask(viewModel->loadHistory());
    ASSERT_EQ(viewModel->recordingState().kind(), RecordingState::Case::failed);
    EXPECT_TRUE(viewModel->recordingState().failureMessage().startsWith(
        QStringLiteral("历史记录加载失败：")));
    EXPECT_TRUE(viewModel->records().isEmpty());
    EXPECT_TRUE(QFileInfo(historyFile).isDir());
    EXPECT_FALSE(viewModel->appToast().has_value());

    // Cut off half-way, as a copy that stopped: the transcript files bring
    // the record back, the user learns where the damaged file went, and the
    // next dictation is recorded as any other.
    ASSERT_TRUE(QDir().rmdir(historyFile));
    QFile truncated(historyFile);
    ASSERT_TRUE(truncated.open(QIODevice::WriteOnly));
    truncated.write(written.left(written.size() / 2));
    truncated.close();
    runTask(viewModel->loadHistory());
    ASSERT_EQ(viewModel->records().size(), 1);
    EXPECT_EQ(viewModel->records()[0].id, old.id);
    const QStringList aside =
        QDir(dataFolder()).entryList({QStringLiteral("history.json.unreadable-*")});
    ASSERT_EQ(aside.size(), 1);
    ASSERT_TRUE(viewModel->appToast().has_value());
    const AppToastState toast = *viewModel->appToast();
    EXPECT_TRUE(toast.isError);
    EXPECT_TRUE(toast.message.startsWith(QStringLiteral("历史记录文件无法解析")))
        << toast.message.toStdString();
    EXPECT_TRUE(toast.message.endsWith(u'：' + aside[0]))
        << toast.message.toStdString();

    dictate(QStringLiteral("新的一段"));
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_EQ(runTask(history.loadRecords()).size(), 2);
    EXPECT_EQ(viewModel->appToast(), toast) << "told once";
}

} // namespace
} // namespace tovalit
