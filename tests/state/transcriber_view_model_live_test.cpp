#include "services/gateway/gateway_client_error.h"
#include "services/speech/vellup_streaming_transcriber_error.h"
#include "support/gui_thread.h"
#include "support/http_transport.h"
#include "tests/state/view_model_harness.h"

namespace tovalit {
namespace {

using namespace testing;

class LiveRecoveryTest : public ViewModelTest {
protected:
    void SetUp() override { useGatewayForSpeechOnly(); }

    std::exception_ptr streamBroke() {
        return errorOf(VellupStreamingTranscriberError::connectionClosed(QStringLiteral("bye")));
    }
    // The stream breaks, and its replacement is held at its start until the
    // test opens the gate returned.
    std::shared_ptr<Gate> breakWithHeldReplacement(const QString &finishText = QString()) {
        auto gate = std::make_shared<Gate>();
        transcriberScripts.push_back({nullptr, gate, finishText, nullptr});
        transcriber().breakStream(streamBroke());
        settle();
        return gate;
    }
    // A stop whose recording cannot be recognised again: the live text is
    // kept, and the record warns why.
    TranscriptRecord stopWithTheFileUnrecognised(const QString &liveText) {
        fileAnswers.script = {errorOf(TextError(QStringLiteral("file service down")))};
        stopRecording();
        const TranscriptRecord kept = viewModel->records().value(0);
        EXPECT_EQ(kept.rawTranscript.value_or(kept.transcript), liveText);
        EXPECT_EQ(kept.status, TranscriptRecordStatus::warning);
        EXPECT_TRUE(kept.note.value_or(QString()).contains(
            QStringLiteral("Vellup录音 ASR 补偿失败：file service down")))
            << kept.note.value_or(QString()).toStdString();
        return kept;
    }
};

TEST_F(LiveRecoveryTest, ABrokenStreamIsRebuiltAndTheWordsInFlightAtTheBreakAreRecognisedAgain) {
    makeViewModel();
    startRecording();
    feed(1);
    transcriber().speak(QStringLiteral("明天下午"));
    // The next words reach the stream, which breaks before it answers: what
    // it heard of them goes down with it.
    feed(2);
    settle();

    // The replacement is held at its start while the user keeps speaking.
    auto gate = std::make_shared<Gate>();
    transcriberScripts.push_back({nullptr, gate, QStringLiteral("开会"), nullptr});
    transcriber().breakStream(streamBroke());
    transcriber().breakStream(streamBroke());
    settle();
    ASSERT_EQ(transcribers.size(), 2u) << "two reports of one break, one recovery";
    for (int marker = 3; marker <= 4; ++marker)
        feed(marker);
    EXPECT_EQ(transcriber(0).received(), (QList<int>{1, 2}))
        << "the broken stream hears nothing more";
    EXPECT_EQ(transcriber(0).cancelCount.load(), 0) << "a broken stream is dropped, not cancelled";

    gate->open();
    settle();
    EXPECT_EQ(transcriber(1).received(), (QList<int>{3, 4})) << "the outage, in order";
    feed(5);
    EXPECT_EQ(transcriber(1).received(), (QList<int>{3, 4, 5}));

    // The new stream starts from empty text and knows only what came after
    // the break.
    transcriber(1).speak(QStringLiteral("开会"));
    settle();
    EXPECT_EQ(viewModel->liveTranscript(), QStringLiteral("明天下午\n开会"));

    // The stop recognises the whole recording and uses that.
    fileAnswers.script = {QStringLiteral("明天下午三点开会")};
    stopRecording();
    EXPECT_EQ(transcriber(1).finishCount.load(), 1);
    EXPECT_EQ(transcriber(0).finishCount.load(), 0);
    ASSERT_EQ(fileCalls.size(), 1u) << "the live text misses the words at the break";
    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.rawTranscript.value_or(record.transcript), QStringLiteral("明天下午三点开会"));
    ASSERT_FALSE(insertionCalls.empty());
    EXPECT_EQ(insertionCalls.back().text, record.transcript);
    EXPECT_EQ(record.status, TranscriptRecordStatus::completed);
    EXPECT_TRUE(record.note.value_or(QString()).startsWith(
        QStringLiteral("当前使用Vellup流式 ASR 2.0（已恢复）；实时流式结果不稳定，"
                       "已自动改用Vellup录音 ASR 结果")))
        << record.note.value_or(QString()).toStdString();

    // When the recording cannot be recognised, the live text is what is
    // left, and the record says so.
    startRecording();
    transcriber(2).speak(QStringLiteral("明天下午"));
    settle();
    transcriberScripts.push_back({nullptr, nullptr, QStringLiteral("开会"), nullptr});
    transcriber(2).breakStream(streamBroke());
    settle();
    ASSERT_EQ(transcribers.size(), 4u);
    transcriber(3).speak(QStringLiteral("开会"));
    settle();
    stopWithTheFileUnrecognised(QStringLiteral("明天下午\n开会"));
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

TEST_F(LiveRecoveryTest, AReplacementThatFailsToStartIsTheOnlyAttemptForItsBreak) {
    makeViewModel();
    startRecording();
    transcriber().speak(QStringLiteral("前半段"));
    settle();
    // The service is gone: every stream asked to start fails, and reports
    // its failure as a break as well.
    defaultTranscriberScript.startError =
        errorOf(VellupStreamingTranscriberError::connectionClosed(QStringLiteral("quota")));
    transcriber().breakStream(streamBroke());
    settle();
    EXPECT_EQ(transcribers.size(), 2u) << "one replacement attempt";
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
    feed(1);

    // The recording went on without live text; the file is recognised.
    fileAnswers.fallback = QStringLiteral("前半段，还有后半段");
    stopRecording();
    ASSERT_EQ(fileCalls.size(), 1u);
    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.rawTranscript.value_or(record.transcript),
              QStringLiteral("前半段，还有后半段"));
    EXPECT_TRUE(record.note.value_or(QString()).startsWith(
        QStringLiteral("Vellup流式 ASR 已中断，停止录音后会补一遍录音 ASR；")))
        << record.note.value_or(QString()).toStdString();

    // Through a gateway that no longer knows the session: the session is
    // renewed once and the stream tried once more, and that is all.
    transcriberScripts.push_back({});
    defaultTranscriberScript.startError = errorOf(HttpTransportError(
        HttpTransportError::Kind::NotConnected, QStringLiteral("invalid_token, HTTP 401")));
    startRecording();
    ASSERT_EQ(transcribers.size(), 3u);
    transcriber(2).breakStream(streamBroke());
    settle();
    EXPECT_EQ(transcribers.size(), 5u) << "the replacement and its one retry";
    EXPECT_EQ(gateway->invalidations, 1);
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
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

    fileAnswers.fallback = QStringLiteral("前半段，还有后半段");
    stopRecording();
    // The live text stops at the break; the whole recording is recognised
    // again and that result is used.
    EXPECT_EQ(transcriber().finishCount.load(), 0);
    ASSERT_EQ(fileCalls.size(), 1u);
    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.rawTranscript.value_or(record.transcript),
              QStringLiteral("前半段，还有后半段"));
    EXPECT_EQ(record.status, TranscriptRecordStatus::completed);
    // The user learns that the stream broke.
    const QString brokeNote = QStringLiteral("Vellup流式 ASR 已中断，停止录音后会补一遍录音 ASR");
    EXPECT_TRUE(record.note.value_or(QString()).startsWith(
        brokeNote + QStringLiteral("；实时流式结果不稳定，已自动改用Vellup录音 ASR 结果")))
        << record.note.value_or(QString()).toStdString();
    EXPECT_EQ(viewModel->lastResultMessage(), record.note);

    // When that second recognition fails too, the text before the break is
    // kept and the record says what went wrong.
    startRecording();
    transcriber(1).speak(QStringLiteral("又一段"));
    settle();
    gateway->speechScript = {std::optional<VellupSpeechConfiguration>()};
    transcriber(1).breakStream(streamBroke());
    settle();
    const TranscriptRecord kept = stopWithTheFileUnrecognised(QStringLiteral("又一段"));
    EXPECT_TRUE(kept.note.value_or(QString()).startsWith(brokeNote + QStringLiteral("；")));
}

TEST_F(LiveRecoveryTest, AStopWhileTheStreamIsBeingRebuiltRecognisesTheFile) {
    makeViewModel();
    startRecording();
    transcriber().speak(QStringLiteral("断之前"));
    settle();
    const std::shared_ptr<Gate> gate = breakWithHeldReplacement();
    ASSERT_EQ(transcribers.size(), 2u);

    fileAnswers.fallback = QStringLiteral("断之前和断之后");
    stopRecording();
    ASSERT_EQ(fileCalls.size(), 1u);
    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.rawTranscript.value_or(record.transcript), QStringLiteral("断之前和断之后"));
    EXPECT_TRUE(record.note.value_or(QString()).startsWith(
        QStringLiteral("Vellup流式 ASR 已中断，停止录音后会补一遍录音 ASR；")))
        << record.note.value_or(QString()).toStdString();
    gate->open();
    settle();
    EXPECT_GE(transcriber(1).cancelCount.load(), 1) << "the late replacement is dropped";
}

TEST_F(LiveRecoveryTest, AnOutageLongerThanTheBacklogReplaysItsNewestAudioThenTheFileIsRecognised) {
    makeViewModel();
    startRecording();
    transcriber().speak(QStringLiteral("开头"));
    settle();
    const std::shared_ptr<Gate> gate = breakWithHeldReplacement(QStringLiteral("结尾"));
    for (int marker = 1; marker <= 200; ++marker)
        feed(marker);
    gate->open();
    settle();
    const QList<int> heard = transcriber(1).received();
    ASSERT_EQ(heard.size(), 160) << "the oldest buffers were dropped";
    EXPECT_EQ(heard.first(), 41);
    EXPECT_EQ(heard.last(), 200);
    transcriber(1).speak(QStringLiteral("结尾"));
    settle();

    fileAnswers.fallback = QStringLiteral("开头，中间，结尾");
    stopRecording();
    ASSERT_EQ(fileCalls.size(), 1u);
    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.rawTranscript.value_or(record.transcript), QStringLiteral("开头，中间，结尾"));
    EXPECT_TRUE(record.note.value_or(QString()).startsWith(
        QStringLiteral("当前使用Vellup流式 ASR 2.0（已恢复）；实时流式结果不稳定，"
                       "已自动改用Vellup录音 ASR 结果")))
        << record.note.value_or(QString()).toStdString();
}

TEST_F(LiveRecoveryTest, AReplacementThatStartsAfterTheUserCancelledIsNeverAttached) {
    makeViewModel();
    startRecording();
    const std::shared_ptr<Gate> gate = breakWithHeldReplacement();
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

TEST_F(LiveRecoveryTest, ARecoveryCancelledBeforeItRanLeavesTheNextRecordingHeard) {
    makeViewModel();
    startRecording();
    // The break is handled, and its recovery queued; before that runs, the
    // user cancels and starts again at once, both already queued too.
    transcriber().breakStream(streamBroke());
    QCoro::Task<void> restart;
    postToGuiThread([&] {
        panel->onCancel();
        postToGuiThread([&] { restart = viewModel->toggleRecording(); });
    });
    settle();
    runTask(std::move(restart));
    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());
    ASSERT_EQ(transcribers.size(), 2u) << "no rebuild for the cancelled recording";
    feed(7);
    EXPECT_EQ(transcriber(1).received(), QList<int>{7});
}

TEST_F(LiveRecoveryTest, AControllerThatGoesWhileABrokenStreamIsRebuiltLeavesTheRebuildUnheard) {
    makeViewModel();
    startRecording();
    const std::shared_ptr<Gate> configuration = gateway->holdNextSpeech();
    transcriber().breakStream(streamBroke());
    ASSERT_TRUE(waitUntil([&] { return gateway->speechRequests == 2; }, "the rebuild's start"));
    viewModel.reset();
    configuration->open();
    settle();
    EXPECT_EQ(transcribers.size(), 1u) << "no replacement for a controller that is gone";
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
