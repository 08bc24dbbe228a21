// A run that ends mid-dictation without filing it (a crash, a power loss,
// a session end that kills the process): the next start files what it left
// in the recordings folder, with the words heard so far, as a failed record
// the user can retry from its recording, and says so once.

#include "tests/state/meeting_view_model_harness.h"
#include "tests/support/file_contents.h"

#include <QDir>
#include <QFileInfo>

namespace tovalit {
namespace {

using namespace testing;

const QString oneLeftNotice =
    QStringLiteral("Tovalit 上次意外退出，1 段未完成的录音已存入历史记录，可使用归档录音重试");

class UnfinishedRecordingTest : public MeetingViewModelTest {
protected:
    ~UnfinishedRecordingTest() override {
        historyPause.resume();
        viewModel.reset();
        endedRun.reset();
    }

    // About `seconds` of audio into the running recording (1024 frames at
    // 16 kHz a buffer), enough for the file to hold whole fragments.
    void feedSeconds(double seconds) {
        for (int i = 0; i < int(seconds * 16000 / 1024); ++i)
            feed(i + 1);
        settle();
    }

    // The process ends where it is, and a new one starts on the same data
    // folder. What the run had queued for the history's worker lands
    // first, as it would have before the end; nothing of the run's own
    // clean-up happens: its controller is kept, never told.
    void endRunAndStartAgain() {
        runTask(history.loadRecords());
        endedRun = std::move(viewModel);
        nextRunHistory = std::make_unique<HistoryStore>(dataFolder());
        adjustDependencies = [this](TranscriberViewModel::Dependencies &d) {
            d.historyStore = nextRunHistory.get();
        };
        makeViewModel();
        runTask(viewModel->loadHistory());
    }

    QString recordingPath(const TranscriptRecord &record) const {
        return QDir(nextRunHistory->recordingsDirectoryNow())
            .filePath(record.audioFileName.value_or(QString()));
    }

    std::unique_ptr<TranscriberViewModel> endedRun;
    std::unique_ptr<HistoryStore> nextRunHistory;
};

TEST_F(UnfinishedRecordingTest, ARecordingCutOffMidDictationIsFiledWithTheWordsHeardSoFar) {
    makeViewModel();
    startRecording();
    feedSeconds(3.2);
    speak(QStringLiteral("明天下午"));
    time.advance(0.5);
    speak(QStringLiteral("明天下午三点"));
    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());
    endRunAndStartAgain();

    ASSERT_EQ(viewModel->records().size(), 1);
    const TranscriptRecord record = lastRecord();
    EXPECT_EQ(record.status, TranscriptRecordStatus::failed);
    EXPECT_EQ(record.transcript, QStringLiteral("明天下午"))
        << "the words kept last; the next ones came within the same two seconds";
    EXPECT_EQ(record.note,
              QStringLiteral("Tovalit 意外退出，本次转写尚未完成，可使用归档录音重试"));
    EXPECT_TRUE(record.canRetry());
    EXPECT_TRUE(QFileInfo::exists(recordingPath(record)));
    EXPECT_GT(record.duration, 2.0) << "the audio the file holds";
    EXPECT_LE(record.duration, 3.3);
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_EQ(viewModel->appToast()->message, oneLeftNotice);
    EXPECT_EQ(runTask(nextRunHistory->loadRecords()).size(), 1) << "and it is in the history file";

    // Filed once: the start after that has nothing left to file or say.
    viewModel.reset();
    makeViewModel();
    runTask(viewModel->loadHistory());
    EXPECT_EQ(viewModel->records().size(), 1);
    EXPECT_FALSE(viewModel->appToast().has_value());
}

TEST_F(UnfinishedRecordingTest, TheRecognisedTextIsKeptWhileTheFormatterIsAwaited) {
    defaultTranscriberScript.finishText = QStringLiteral("明天下午三点开会");
    formatterAnswers.fallback = QStringLiteral("明天下午三点开会。");
    formatterAnswers.gate = std::make_shared<Gate>();
    makeViewModel();
    startRecording();
    feedSeconds(2.2);
    time.advance(2.0);
    QCoro::Task<void> stopping = viewModel->toggleRecording();
    ASSERT_TRUE(waitUntil([&] { return !formatterCalls.empty(); }, "the formatting request"));
    endRunAndStartAgain();

    ASSERT_EQ(viewModel->records().size(), 1);
    const TranscriptRecord record = lastRecord();
    EXPECT_EQ(record.status, TranscriptRecordStatus::failed);
    EXPECT_EQ(record.transcript, QStringLiteral("明天下午三点开会"));
    EXPECT_TRUE(record.canRetry());
    EXPECT_TRUE(QFileInfo::exists(recordingPath(record)));
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_EQ(viewModel->appToast()->message, oneLeftNotice);
}

TEST_F(UnfinishedRecordingTest, AMeetingCutOffIsFiledAsAnUnfinishedMeeting) {
    formatterAnswers.fallback =
        stageAnswer(QStringLiteral("议程"), {QStringLiteral("开场 => 介绍")});
    makeViewModel();
    enterMeeting(QStringLiteral("第一项议程是预算"));
    feedSeconds(3.0);
    speak(QStringLiteral("第一项议程是预算，第二项是招聘"));
    endRunAndStartAgain();

    ASSERT_EQ(viewModel->records().size(), 1);
    const TranscriptRecord record = lastRecord();
    EXPECT_EQ(record.status, TranscriptRecordStatus::failed);
    EXPECT_EQ(record.transcript, QStringLiteral("第一项议程是预算，第二项是招聘"));
    EXPECT_EQ(record.note,
              QStringLiteral("Tovalit 意外退出，本次会议纪要尚未完成，可使用归档录音重试"));
    EXPECT_TRUE(record.canRetry());
    EXPECT_TRUE(QFileInfo::exists(recordingPath(record)));
}

TEST_F(UnfinishedRecordingTest, AMeetingCutOffBeforeAnyNewWordsIsStillFiledAsAMeeting) {
    formatterAnswers.fallback =
        stageAnswer(QStringLiteral("议程"), {QStringLiteral("开场 => 介绍")});
    makeViewModel();
    enterMeeting(QStringLiteral("第一项议程是预算"));
    ASSERT_TRUE(viewModel->hasEnteredMeetingMode());
    feedSeconds(3.0);
    endRunAndStartAgain();

    ASSERT_EQ(viewModel->records().size(), 1);
    const TranscriptRecord record = lastRecord();
    EXPECT_EQ(record.status, TranscriptRecordStatus::failed);
    EXPECT_EQ(record.transcript, QStringLiteral("第一项议程是预算"));
    EXPECT_EQ(record.note,
              QStringLiteral("Tovalit 意外退出，本次会议纪要尚未完成，可使用归档录音重试"));
    EXPECT_TRUE(record.canRetry());
}

TEST_F(UnfinishedRecordingTest, RecordingsOfARebuiltHistoryAreNotFiledAsCutOff) {
    defaultTranscriberScript.finishText = QStringLiteral("明天下午三点开会");
    formatterAnswers.fallback = QStringLiteral("明天下午三点开会。");
    makeViewModel();
    startRecording();
    feedSeconds(2.2);
    time.advance(2.0);
    runTask(viewModel->toggleRecording());
    ASSERT_EQ(viewModel->records().size(), 1);
    ASSERT_TRUE(viewModel->records().front().audioFileName.has_value());
    testing::writeFile(dataFolder() + QStringLiteral("/history.json"), "[{\"id\": ");
    endRunAndStartAgain();

    // Rebuilt from its transcript file, the record no longer names its
    // recording; the recording is still no dictation cut off by a crash.
    ASSERT_EQ(viewModel->records().size(), 1);
    EXPECT_NE(lastRecord().status, TranscriptRecordStatus::failed);
    EXPECT_TRUE(!viewModel->appToast() || viewModel->appToast()->message != oneLeftNotice);
}

} // namespace
} // namespace tovalit
