#include "services/gateway/gateway_client_error.h"
#include "services/speech/vellup_streaming_transcriber_error.h"
#include "tests/state/view_model_harness.h"

namespace tovalit {
namespace {

using namespace testing;

class LiveRecoveryTest : public ViewModelTest {
protected:
    void SetUp() override {
        makeStore(true);
        gateway->defaultSpeech = gatewaySpeech();
    }

    std::exception_ptr streamBroke() {
        return errorOf(VellupStreamingTranscriberError::connectionClosed(QStringLiteral("bye")));
    }
};

TEST_F(LiveRecoveryTest, ABrokenStreamIsRebuiltAndHearsTheAudioOfTheOutageInOrder) {
    makeViewModel();
    startRecording();
    feed(1);
    transcriber().speak(QStringLiteral("你好世界"));
    settle();

    // The stream breaks; the replacement is held at its start while the
    // user keeps speaking.
    auto gate = std::make_shared<Gate>();
    transcriberScripts.push_back({nullptr, gate, QStringLiteral("世界今天"), nullptr});
    transcriber().breakStream(streamBroke());
    transcriber().breakStream(streamBroke());
    settle();
    ASSERT_EQ(transcribers.size(), 2u) << "two reports of one break, one recovery";
    for (int marker = 2; marker <= 4; ++marker)
        feed(marker);
    EXPECT_EQ(transcriber(0).received(), QList<int>{1}) << "the broken stream hears nothing more";
    EXPECT_EQ(transcriber(0).cancelCount.load(), 0) << "a broken stream is dropped, not cancelled";

    gate->open();
    settle();
    EXPECT_EQ(transcriber(1).received(), (QList<int>{2, 3, 4}));
    feed(5);
    EXPECT_EQ(transcriber(1).received(), (QList<int>{2, 3, 4, 5}));

    // The new stream starts from empty text; the overlap is not repeated.
    transcriber(1).speak(QStringLiteral("世界今天"));
    settle();
    EXPECT_EQ(viewModel->liveTranscript(), QStringLiteral("你好世界今天"));

    stopRecording();
    EXPECT_EQ(transcriber(1).finishCount.load(), 1);
    EXPECT_EQ(transcriber(0).finishCount.load(), 0);
    EXPECT_TRUE(fileCalls.empty());
    EXPECT_EQ(viewModel->records().value(0).rawTranscript.value_or(QString()),
              QStringLiteral("你好世界今天"));
}

TEST_F(LiveRecoveryTest, TheNewestAudioOfALongOutageIsReplayed) {
    makeViewModel();
    startRecording();
    auto gate = std::make_shared<Gate>();
    transcriberScripts.push_back({nullptr, gate, QString(), nullptr});
    transcriber().breakStream(streamBroke());
    settle();
    for (int marker = 1; marker <= 200; ++marker)
        feed(marker);
    gate->open();
    settle();
    const QList<int> heard = transcriber(1).received();
    ASSERT_EQ(heard.size(), 160);
    EXPECT_EQ(heard.first(), 41);
    EXPECT_EQ(heard.last(), 200);
}

TEST_F(LiveRecoveryTest, ARejectedSessionDuringTheRebuildIsRecoveredOnce) {
    makeViewModel();
    startRecording();
    transcriberScripts.push_back(
        {errorOf(GatewayClientError::requestFailed(401, QStringLiteral("expired"))), nullptr,
         QString(), nullptr});
    transcriber().breakStream(streamBroke());
    settle();
    EXPECT_EQ(gateway->invalidations, 1);
    ASSERT_EQ(transcribers.size(), 3u);
    feed(9);
    EXPECT_EQ(transcriber(2).received(), QList<int>{9}) << "the second try took over";
}

TEST_F(LiveRecoveryTest, WithoutAReplacementTheRecordingGoesOnAndTheFileIsRecognisedAfterwards) {
    makeViewModel();
    startRecording();
    transcriber().speak(QStringLiteral("前半段"));
    settle();
    gateway->speechScript = {std::optional<VellupSpeechConfiguration>()};
    transcriber().breakStream(streamBroke());
    settle();
    EXPECT_EQ(transcribers.size(), 1u);
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
    feed(1);

    fileAnswers.fallback = QStringLiteral("完整的一段话");
    stopRecording();
    // No recogniser to finish: the text committed before the break is the
    // result, and a text without a warning needs no second recognition.
    EXPECT_EQ(transcriber().finishCount.load(), 0);
    EXPECT_TRUE(fileCalls.empty()) << "the committed live text is kept without a warning";
    EXPECT_EQ(viewModel->records().value(0).rawTranscript.value_or(
                  viewModel->records().value(0).transcript),
              QStringLiteral("前半段"));
}

TEST_F(LiveRecoveryTest, AReplacementThatStartsAfterTheUserCancelledIsNeverAttached) {
    makeViewModel();
    startRecording();
    auto gate = std::make_shared<Gate>();
    transcriberScripts.push_back({nullptr, gate, QString(), nullptr});
    transcriber().breakStream(streamBroke());
    settle();
    ASSERT_EQ(transcribers.size(), 2u);

    panel->onCancel();
    settle();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_EQ(viewModel->lastResultMessage(), QStringLiteral("已取消本次录音"));

    // The next recording is under way when the old replacement comes up.
    startRecording();
    ASSERT_EQ(transcribers.size(), 3u);
    gate->open();
    settle();
    EXPECT_GE(transcriber(1).cancelCount.load(), 1);
    feed(7);
    EXPECT_EQ(transcriber(1).received(), QList<int>{}) << "never attached";
    EXPECT_EQ(transcriber(2).received(), QList<int>{7})
        << "the new recording's stream is untouched";
}

TEST_F(LiveRecoveryTest, LateCallbacksOfAnEndedSessionChangeNothing) {
    makeViewModel();
    startRecording();
    FakeLiveTranscriber &first = transcriber();
    first.speak(QStringLiteral("第一次"));
    settle();

    panel->onCancel();
    settle();
    EXPECT_EQ(viewModel->liveTranscript(), QString());
    EXPECT_EQ(viewModel->waveformLevels(), TranscriberViewModel::idleWaveformLevels());
    EXPECT_TRUE(recordingFiles().isEmpty()) << "a cancelled recording leaves no file";
    EXPECT_TRUE(viewModel->records().isEmpty());
    EXPECT_EQ(panel->last(), QStringLiteral("hide"));

    // The cancelled session's recogniser still talks; nobody listens.
    first.speak(QStringLiteral("迟到的文字"));
    first.breakStream(errorOf(TextError(QStringLiteral("late"))));
    settle();
    EXPECT_EQ(viewModel->liveTranscript(), QString());
    EXPECT_EQ(transcribers.size(), 1u);
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
}

TEST_F(LiveRecoveryTest, LevelsFollowTheMicrophoneOnlyWhileTheirSessionRuns) {
    makeViewModel();
    startRecording();
    const int shown = panel->recordingCount;
    input->feed(markedBuffer(20000));
    settle();
    EXPECT_NE(viewModel->waveformLevels(), TranscriberViewModel::idleWaveformLevels());
    EXPECT_EQ(panel->lastLevels, viewModel->waveformLevels());
    EXPECT_GT(panel->recordingCount, shown) << "the capsule's meter follows";

    // A level update already queued when the session is cancelled is dropped.
    input->feed(markedBuffer(30000));
    panel->onCancel();
    settle();
    EXPECT_EQ(viewModel->waveformLevels(), TranscriberViewModel::idleWaveformLevels());
}

} // namespace
} // namespace tovalit
