// Quitting with a dictation under way: what the user said is filed before
// the process ends, finished when it can be, cancelled (and retryable) when
// it cannot.

#include "tests/state/view_model_harness.h"

#include <QDir>
#include <QFileInfo>

namespace tovalit {
namespace {

using namespace testing;

const QString heard = QStringLiteral("明天下午三点开会");
const QString cancelledNote =
    QStringLiteral("退出 Tovalit 时本次转写尚未完成，已取消，可使用归档录音重试");
constexpr double grace = 15.0;

class QuitTest : public ViewModelTest {
protected:
    // A dictation stopped and held at its formatting request.
    void holdAStopAtFormatting() {
        useGateway();
        defaultTranscriberScript.finishText = heard;
        formatterAnswers.fallback = QStringLiteral("明天下午三点开会。");
        formatterAnswers.gate = std::make_shared<Gate>();
        makeViewModel();
        ASSERT_NO_FATAL_FAILURE(recordWithoutStopping(3.0));
        stopping = viewModel->toggleRecording();
        ASSERT_TRUE(waitUntil([&] { return !formatterCalls.empty(); }, "the formatting request"));
        ASSERT_EQ(viewModel->recordingState(), RecordingState::thinking());
    }

    // Starts the quit; it waits (if it waits) on the session sleeper.
    void beginQuit() {
        sleepsBefore = sessionSleeps.count();
        quitting = viewModel->finishDictationBeforeQuit(grace, hurry);
        settle();
    }
    const ManualSleeps::Sleep *graceSleep() const {
        for (std::size_t i = sleepsBefore; i < sessionSleeps.count(); ++i) {
            if (sessionSleeps.at(i).seconds == grace)
                return &sessionSleeps.at(i);
        }
        return nullptr;
    }
    bool recordingExists(const TranscriptRecord &record) const {
        return record.audioFileName &&
               QFileInfo::exists(
                   QDir(history.recordingsDirectoryNow()).filePath(*record.audioFileName));
    }

    QCoro::Task<void> stopping;
    QCoro::Task<void> quitting;
    CancelToken hurry;
    std::size_t sleepsBefore = 0;
};

TEST_F(QuitTest, AStopStillBeingProcessedIsWaitedForAndFilesItsOwnRecord) {
    ASSERT_NO_FATAL_FAILURE(holdAStopAtFormatting());
    beginQuit();
    const ManualSleeps::Sleep *wait = graceSleep();
    ASSERT_NE(wait, nullptr) << "the quit waits for the stop, at most the grace period";
    EXPECT_TRUE(viewModel->records().isEmpty());

    formatterAnswers.gate->open();
    runTask(std::move(stopping));
    runTask(std::move(quitting));
    EXPECT_TRUE(wait->token.isCancelled()) << "the stop ended the wait, not the grace period";
    ASSERT_EQ(viewModel->records().size(), 1);
    EXPECT_EQ(lastRecord().transcript, QStringLiteral("明天下午三点开会。"));
    EXPECT_EQ(lastRecord().status, TranscriptRecordStatus::completed);
    EXPECT_EQ(insertionCalls.size(), 1u);
    EXPECT_EQ(runTask(history.loadRecords()).size(), 1) << "and it is in the history file";
}

TEST_F(QuitTest, AStopThatOutlastsTheGraceIsFiledAsCancelledAndNeverAgain) {
    ASSERT_NO_FATAL_FAILURE(holdAStopAtFormatting());
    beginQuit();
    ASSERT_NE(graceSleep(), nullptr);
    sessionSleeps.wake(sessionSleeps.count() - 1);
    runTask(std::move(quitting));

    ASSERT_EQ(viewModel->records().size(), 1);
    const TranscriptRecord record = lastRecord();
    EXPECT_EQ(record.status, TranscriptRecordStatus::failed);
    EXPECT_EQ(record.note, cancelledNote);
    EXPECT_EQ(record.transcript, heard) << "what was heard so far";
    EXPECT_TRUE(recordingExists(record)) << "the recording stays for a retry";
    EXPECT_EQ(viewModel->recordingState(), RecordingState::failed(cancelledNote));
    EXPECT_EQ(runTask(history.loadRecords()).size(), 1);

    // The stop's answer arrives before the process is gone: it neither
    // types the text anywhere nor files the dictation a second time.
    formatterAnswers.gate->open();
    runTask(std::move(stopping));
    EXPECT_TRUE(insertionCalls.empty());
    EXPECT_EQ(viewModel->records().size(), 1);
    EXPECT_EQ(runTask(history.loadRecords()).size(), 1);
}

TEST_F(QuitTest, AskingAgainFilesTheDictationAtOnce) {
    ASSERT_NO_FATAL_FAILURE(holdAStopAtFormatting());
    beginQuit();
    ASSERT_NE(graceSleep(), nullptr);
    hurry.cancel();
    runTask(std::move(quitting));
    ASSERT_EQ(viewModel->records().size(), 1);
    EXPECT_EQ(lastRecord().note, cancelledNote);
    formatterAnswers.gate->open();
    runTask(std::move(stopping));
    EXPECT_EQ(viewModel->records().size(), 1);
}

TEST_F(QuitTest, ARecordSaysWhetherTheTextWasTyped) {
    useGateway();
    defaultTranscriberScript.finishText = heard;
    formatterAnswers.fallback = QStringLiteral("明天下午三点开会。");
    makeViewModel();
    const auto stopUntil = [&](const std::function<bool()> &reached, const char *what) {
        ASSERT_NO_FATAL_FAILURE(recordWithoutStopping(3.0));
        stopping = viewModel->toggleRecording();
        ASSERT_TRUE(waitUntil(reached, what));
    };

    // The delivery still waits for the shortcut's keys to come up when the
    // quit files the dictation as cancelled: its text is then never typed.
    releaseGate = std::make_shared<Gate>();
    ASSERT_NO_FATAL_FAILURE(
        stopUntil([&] { return viewModel->recordingState() == RecordingState::inserting(); },
                  "the delivery"));
    beginQuit();
    hurry.cancel();
    runTask(std::move(quitting));
    ASSERT_EQ(viewModel->records().size(), 1);
    EXPECT_EQ(lastRecord().note, cancelledNote);
    releaseGate->open();
    runTask(std::move(stopping));
    EXPECT_TRUE(insertionCalls.empty()) << "typed after it was filed as cancelled";
    EXPECT_EQ(viewModel->records().size(), 1);

    // The text is being typed when the grace period ends, and the user
    // quits again: the quit waits for the typing, and the stop files what
    // became of it.
    releaseGate.reset();
    insertionGate = std::make_shared<Gate>();
    hurry = CancelToken();
    ASSERT_NO_FATAL_FAILURE(stopUntil([&] { return !insertionCalls.empty(); }, "the typing"));
    beginQuit();
    ASSERT_NE(graceSleep(), nullptr);
    sessionSleeps.wake(sessionSleeps.count() - 1);
    hurry.cancel();
    settle();
    EXPECT_EQ(viewModel->records().size(), 1) << "filed while its text was being typed";
    insertionGate->open();
    runTask(std::move(stopping));
    runTask(std::move(quitting));
    ASSERT_EQ(viewModel->records().size(), 2);
    EXPECT_EQ(lastRecord().transcript, QStringLiteral("明天下午三点开会。"));
    EXPECT_EQ(lastRecord().status, TranscriptRecordStatus::completed);
    EXPECT_NE(lastRecord().note.value_or(QString()), cancelledNote);
    EXPECT_EQ(runTask(history.loadRecords()).size(), 2);
}

TEST_F(QuitTest, AQuitAskedAgainDuringAHungTypingEndsWithinItsCeiling) {
    useGateway();
    defaultTranscriberScript.finishText = heard;
    formatterAnswers.fallback = QStringLiteral("明天下午三点开会。");
    makeViewModel();
    ASSERT_NO_FATAL_FAILURE(recordWithoutStopping(3.0));
    // The typing never comes back, as with a desktop service that hangs.
    insertionGate = std::make_shared<Gate>();
    stopping = viewModel->toggleRecording();
    ASSERT_TRUE(waitUntil([&] { return !insertionCalls.empty(); }, "the typing"));

    beginQuit();
    ASSERT_NE(graceSleep(), nullptr);
    hurry.cancel();
    settle();
    const ManualSleeps::Sleep &ceiling = sessionSleeps.at(sessionSleeps.count() - 1);
    EXPECT_LE(ceiling.seconds, 5.0) << "the quit waits on the typing a few seconds at most";
    EXPECT_TRUE(viewModel->records().isEmpty()) << "the typing still has its few seconds";
    sessionSleeps.wake(sessionSleeps.count() - 1);
    runTask(std::move(quitting), std::chrono::seconds(2));

    // What is known: the text, and that its typing was not confirmed.
    ASSERT_EQ(viewModel->records().size(), 1);
    const TranscriptRecord record = lastRecord();
    EXPECT_EQ(record.transcript, QStringLiteral("明天下午三点开会。"));
    EXPECT_EQ(record.status, TranscriptRecordStatus::warning);
    EXPECT_EQ(record.note, QStringLiteral("退出 Tovalit 时文本仍在输入，未能确认是否已插入"));
    EXPECT_EQ(record.presentationStatus(), TranscriptRecordStatus::warning);
    EXPECT_EQ(runTask(history.loadRecords()).size(), 1);

    // The typing ends before the process does: the record stays the one.
    insertionGate->open();
    runTask(std::move(stopping));
    EXPECT_EQ(viewModel->records().size(), 1);
}

TEST_F(QuitTest, ARecordingStillRunningIsStoppedAndFiledWithItsAudio) {
    useGateway();
    makeViewModel();
    captureClock = 100.0;
    startRecording();
    feed(1);
    feed(2);
    transcriber().speak(heard);
    settle();
    captureClock = 104.0;

    beginQuit();
    EXPECT_EQ(graceSleep(), nullptr) << "nothing to wait for";
    runTask(std::move(quitting));
    EXPECT_FALSE(input->isRunning()) << "the microphone is released";
    EXPECT_EQ(transcriber().cancelCount.load(), 1);
    ASSERT_EQ(viewModel->records().size(), 1);
    const TranscriptRecord record = lastRecord();
    EXPECT_EQ(record.status, TranscriptRecordStatus::failed);
    EXPECT_EQ(record.note, cancelledNote);
    EXPECT_EQ(record.transcript, heard);
    EXPECT_TRUE(recordingExists(record));
    EXPECT_TRUE(insertionCalls.empty()) << "nothing is typed after the user asked to quit";
    EXPECT_TRUE(formatterCalls.empty());
}

TEST_F(QuitTest, APressWhileTheQuitFilesTheRecordingStartsNothing) {
    useGateway();
    formatterAnswers.fallback = QStringLiteral("明天下午三点开会。");
    makeViewModel();
    captureClock = 100.0;
    startRecording();
    feed(1);
    transcriber().speak(heard);
    settle();
    captureClock = 104.0;
    time.advance(2.0);

    // The quit has taken the recording and waits for the store; the hotkey
    // is pressed in that moment.
    quitting = viewModel->finishDictationBeforeQuit(grace, hurry);
    runTask(viewModel->toggleRecording());
    runTask(std::move(quitting));

    ASSERT_EQ(viewModel->records().size(), 1);
    EXPECT_EQ(lastRecord().note, cancelledNote);
    EXPECT_TRUE(recordingExists(lastRecord()));
    EXPECT_TRUE(formatterCalls.empty());
    EXPECT_TRUE(insertionCalls.empty());
    EXPECT_EQ(transcribers.size(), 1u);
    EXPECT_EQ(viewModel->recordingState(), RecordingState::failed(cancelledNote));
}

TEST_F(QuitTest, WithNothingUnderWayAQuitFilesNothing) {
    useGateway();
    makeViewModel();
    beginQuit();
    runTask(std::move(quitting));
    EXPECT_TRUE(viewModel->records().isEmpty());
    EXPECT_EQ(sessionSleeps.count(), sleepsBefore);

    // A dictation that already ended is not filed again.
    dictate(heard);
    ASSERT_EQ(viewModel->records().size(), 1);
    beginQuit();
    runTask(std::move(quitting));
    EXPECT_EQ(viewModel->records().size(), 1);
}

} // namespace
} // namespace tovalit
