#include "models/personal_lexicon_snapshot.h"
#include "services/speech/vellup_streaming_transcriber_error.h"
#include "tests/state/view_model_harness.h"

#include <QFile>

namespace tovalit {
namespace {

using namespace testing;

class DictationTest : public ViewModelTest {
protected:
    // A lexicon with one hot word and one replacement, stored before the
    // controller loads it.
    void storeLexicon() {
        PersonalLexiconSnapshot snapshot;
        snapshot.entries << lexiconEntry(PersonalLexiconEntryKind::hotword, std::nullopt,
                                         QStringLiteral("Tovalit"))
                         << lexiconEntry(PersonalLexiconEntryKind::replacement,
                                         QStringLiteral("托瓦利特"), QStringLiteral("Tovalit"));
        PersonalLexiconStore lexicon(dataFolder());
        runTask(lexicon.saveSnapshot(snapshot));
    }
    // A recording of `spoken` whose stop is under way at `waiting` when the
    // application quits; `release` then ends that wait.
    void quitWhileTheStopWaits(const QString &spoken, const std::function<bool()> &waiting,
                               const char *what, const std::function<void()> &release) {
        defaultTranscriberScript.finishText = spoken;
        makeViewModel();
        ASSERT_NO_FATAL_FAILURE(recordWithoutStopping(3.0));
        lastTranscriber().finishGate = heldFinish;
        QCoro::Task<void> stopping = viewModel->toggleRecording();
        ASSERT_TRUE(waitUntil(waiting, what));
        viewModel.reset();
        release();
        settle();
    }

    // Given to each recogniser before its stop.
    std::shared_ptr<Gate> heldFinish;
};

TEST_F(DictationTest, OneDictationRunsFromThePressToTheHistory) {
    storeLexicon();
    useGateway();
    defaultTranscriberScript.finishText = QStringLiteral("今天托瓦利特开会");
    formatterAnswers.fallback = QStringLiteral("今天 Tovalit 开会。");
    makeViewModel(true);
    ASSERT_TRUE(waitUntil([&] { return viewModel->personalLexiconEntries().size() == 2; },
                          "the lexicon to load at start-up"));
    settle();

    // Start: the gateway's configuration with the lexicon, a running
    // recogniser, the microphone and the focused application.
    press();
    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());
    ASSERT_EQ(transcribers.size(), 1u);
    EXPECT_EQ(gateway->locales, QStringList{QStringLiteral("zh-CN")});
    EXPECT_EQ(transcriber().configuration, gatewaySpeech());
    ASSERT_TRUE(transcriber().lexicon.has_value());
    EXPECT_TRUE(transcriber().lexicon->inlineHotwords.contains(QStringLiteral("Tovalit")));
    EXPECT_TRUE(transcriber().started);
    EXPECT_TRUE(input->isRunning());
    EXPECT_EQ(panel->calls(), QStringList{QStringLiteral("hide")});
    EXPECT_GE(panel->recordingCount, 1) << "the capsule shows once the recording runs";
    settle();
    EXPECT_EQ(contextCaptures, 1);
    EXPECT_EQ(logLines(QStringLiteral("context")).value(0).left(14),
              QStringLiteral("primed session"));

    // Speaking: audio flows to the recogniser, partials into the live text.
    feed(1);
    feed(2);
    EXPECT_EQ(transcriber().received(), (QList<int>{1, 2}));
    transcriber().speak(QStringLiteral("今天"));
    transcriber().speak(QStringLiteral("今天托瓦利特"));
    settle();
    EXPECT_EQ(viewModel->liveTranscript(), QStringLiteral("今天托瓦利特"));

    // Stop: final text, replacement, formatting, delivery, record.
    captureClock = 104.5;
    stopRecording();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_FALSE(input->isRunning());
    EXPECT_EQ(transcriber().finishCount.load(), 1);
    EXPECT_TRUE(fileCalls.empty()) << "a stream with text needs no second recognition";

    ASSERT_EQ(formatterCalls.size(), 1u);
    EXPECT_EQ(formatterCalls[0].text, QStringLiteral("今天Tovalit开会"));
    EXPECT_EQ(formatterCalls[0].configuration, gatewayFormatter());
    const auto *natural = formatterCalls[0].task.asNatural();
    ASSERT_NE(natural, nullptr);
    EXPECT_EQ(natural->stage, NaturalModeStage::shortCleanup);
    EXPECT_EQ(natural->context, sampleContext().naturalFormattingContext);

    ASSERT_EQ(insertionCalls.size(), 1u);
    EXPECT_EQ(insertionCalls[0].text, QStringLiteral("今天 Tovalit 开会。"));
    EXPECT_EQ(insertionCalls[0].context, sampleContext());
    EXPECT_EQ(contextCaptures, 1) << "the context primed at the start serves the whole session";
    const qsizetype released = events->indexOf(QStringLiteral("release wait 0.05"));
    ASSERT_GE(released, 0);
    EXPECT_LT(released, events->indexOf(QStringLiteral("activate Notes")));
    EXPECT_LT(events->indexOf(QStringLiteral("activate Notes")),
              events->indexOf(QStringLiteral("insert")));

    EXPECT_EQ(viewModel->finalTranscript(), QStringLiteral("今天 Tovalit 开会。"));
    EXPECT_EQ(viewModel->liveTranscript(), QStringLiteral("今天Tovalit开会"));
    EXPECT_EQ(viewModel->lastResultMessage(), QStringLiteral("已插入"));
    // Auto-insert outside meeting mode delivers silently: no "准备插入".
    EXPECT_EQ(panel->calls(),
              (QStringList{QStringLiteral("hide"), QStringLiteral("thinking 思考中"),
                           QStringLiteral("thinking 整理中"), QStringLiteral("completion -")}));

    ASSERT_EQ(viewModel->records().size(), 1);
    const TranscriptRecord record = viewModel->records().first();
    EXPECT_EQ(record.transcript, QStringLiteral("今天 Tovalit 开会。"));
    EXPECT_EQ(record.rawTranscript, QStringLiteral("今天托瓦利特开会"));
    EXPECT_EQ(record.status, TranscriptRecordStatus::completed);
    EXPECT_EQ(record.note, QStringLiteral("已插入"));
    EXPECT_DOUBLE_EQ(record.duration, 4.5);
    EXPECT_EQ(record.createdAt, time.now());
    ASSERT_TRUE(record.audioFileName.has_value());
    EXPECT_EQ(recordingFiles(), QStringList{*record.audioFileName})
        << "the recording is kept with its record";

    // What the history keeps on disk is that record.
    const QList<TranscriptRecord> stored = runTask(history.loadRecords());
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].id, record.id);
    EXPECT_EQ(stored[0].transcript, record.transcript);
    EXPECT_EQ(logLines(QStringLiteral("deliver.result")),
              QStringList{QStringLiteral("result=已插入")});
}

TEST_F(DictationTest, AStopWhileTheStartStillReadsTheApplicationWaitsForThatRead) {
    // Reading the focused application ends in screen text recognition,
    // which takes seconds on a busy machine and one capture at a time: a
    // second read at the stop would queue behind the first and then repeat
    // it.
    useGateway();
    defaultTranscriberScript.finishText = QStringLiteral("今天开会");
    formatterAnswers.fallback = QStringLiteral("今天开会。");
    makeViewModel();
    contextGate = std::make_shared<Gate>();
    startRecording();
    feed(1);
    time.advance(2.0);
    QCoro::Task<void> stopping = viewModel->toggleRecording();
    ASSERT_TRUE(
        waitUntil([&] { return panel->calls().contains(QStringLiteral("thinking 整理中")); },
                  "the stop to reach the formatting"));
    settle();
    EXPECT_EQ(contextCaptures, 1);
    EXPECT_TRUE(formatterCalls.empty());

    contextGate->open();
    runTask(std::move(stopping));
    EXPECT_EQ(contextCaptures, 1);
    ASSERT_EQ(formatterCalls.size(), 1u);
    EXPECT_EQ(formatterCalls[0].task.asNatural()->context,
              sampleContext().naturalFormattingContext);
    ASSERT_EQ(insertionCalls.size(), 1u);
    EXPECT_EQ(insertionCalls[0].context, sampleContext());
    EXPECT_EQ(logLines(QStringLiteral("context")).value(0).left(14),
              QStringLiteral("primed session"));
}

TEST_F(DictationTest, AStreamThatHeardNothingIsRecognisedAgainFromTheRecording) {
    useGateway();
    fileAnswers.fallback = QStringLiteral("  补回来的文本 ");
    formatterAnswers.fallback = QStringLiteral("补回来的文本。");
    makeViewModel();
    startRecording();
    feed(1);
    stopRecording();

    ASSERT_EQ(fileCalls.size(), 1u);
    EXPECT_TRUE(QFileInfo(fileCalls[0].audioFile).isAbsolute());
    EXPECT_EQ(QFileInfo(fileCalls[0].audioFile).fileName(),
              viewModel->records().value(0).audioFileName.value_or(QString()));
    EXPECT_EQ(fileCalls[0].configuration, gatewaySpeech());
    EXPECT_TRUE(panel->calls().contains(QStringLiteral("thinking Vellup补偿识别")));
    EXPECT_EQ(formatterCalls.at(0).text, QStringLiteral("补回来的文本"));

    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.status, TranscriptRecordStatus::completed);
    EXPECT_EQ(record.note,
              QStringLiteral("实时流式未产出文本，已自动切换为Vellup录音 ASR 结果；已插入"));
    EXPECT_EQ(record.rawTranscript, QStringLiteral("补回来的文本"));
}

TEST_F(DictationTest, ARecogniserThatTimedOutKeepsItsLastTextAndAFailedSupplementAddsItsReason) {
    useGateway();
    defaultTranscriberScript.finishError =
        errorOf(VellupStreamingTranscriberError::finalizationTimedOut(QStringLiteral("最后半句")));
    fileAnswers.script.push_back(errorOf(TextError(QStringLiteral("录音文件读不出来"))));
    formatterAnswers.fallback = QStringLiteral("最后半句。");
    makeViewModel();
    startRecording();
    stopRecording();

    ASSERT_EQ(fileCalls.size(), 1u) << "a warning makes the live text doubtful";
    const QString warning =
        QStringLiteral("等待Vellup最终转写结果超时，已保留最后一版文本。；Vellup录音 ASR "
                       "补偿失败：录音文件读不出来");
    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.transcript, QStringLiteral("最后半句。"));
    EXPECT_EQ(record.rawTranscript, QStringLiteral("最后半句"));
    EXPECT_EQ(record.status, TranscriptRecordStatus::warning);
    EXPECT_EQ(record.note, warning + QStringLiteral("；已插入"));
    EXPECT_EQ(panel->last(), QStringLiteral("completion ") + warning + QStringLiteral("；已插入"));
}

TEST_F(DictationTest, ABrokenFinishWithoutTextKeepsTheLiveTextAndTheReason) {
    useGatewayForSpeechOnly();
    defaultTranscriberScript.finishError = errorOf(
        VellupStreamingTranscriberError::streamInterrupted(QString(), QStringLiteral("bye")));
    fileAnswers.script.push_back(QStringLiteral("完整文本"));
    makeViewModel();
    startRecording();
    transcriber().speak(QStringLiteral("不完整"));
    settle();
    stopRecording();

    // The interrupted finish gave no text; the live text stood in, and the
    // whole file replaced it.
    EXPECT_EQ(fileCalls.size(), 1u);
    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.status, TranscriptRecordStatus::completed);
    EXPECT_TRUE(record.note->startsWith(
        QStringLiteral("实时流式结果不稳定，已自动改用Vellup录音 ASR 结果；")));
}

TEST_F(DictationTest, NothingRecognisedAnywhereEndsAsAFailedRecordThatPointsAtTheRecording) {
    useGatewayForSpeechOnly();
    fileAnswers.fallback = QStringLiteral("   ");
    makeViewModel();
    startRecording();
    stopRecording();

    EXPECT_TRUE(insertionCalls.empty());
    EXPECT_TRUE(formatterCalls.empty()) << "nothing to format";
    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.status, TranscriptRecordStatus::failed);
    EXPECT_EQ(record.transcript, QString());
    EXPECT_EQ(record.note, QStringLiteral("本次未产出可用文本，可使用归档录音重试"));
    EXPECT_EQ(viewModel->lastResultMessage(), record.note);
    EXPECT_EQ(panel->last(), QStringLiteral("completion 本次未产出可用文本，可使用归档录音重试"));
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());

    // Without kept recordings the file goes after its second recognition.
    store->setKeepAudioFiles(false);
    startRecording();
    stopRecording();
    EXPECT_EQ(fileCalls.size(), 2u);
    EXPECT_EQ(viewModel->records().value(0).note, QStringLiteral("本次未产出可用文本"));
    EXPECT_EQ(viewModel->records().value(0).audioFileName, std::nullopt);
    EXPECT_EQ(recordingFiles().size(), 1) << "only the first, kept recording is left";
}

TEST_F(DictationTest, AControllerThatGoesWhileAStopWaitsLeavesTheStopToEndUnheard) {
    useGateway();
    const QString spoken = QStringLiteral("说完的话");
    fileAnswers.fallback = spoken;
    formatterAnswers.fallback = QStringLiteral("说完的话。");

    // The live recogniser's final text.
    heldFinish = std::make_shared<Gate>();
    ASSERT_NO_FATAL_FAILURE(quitWhileTheStopWaits(
        spoken, [&] { return lastTranscriber().finishCount == 1; }, "the final text",
        [&] { heldFinish->open(); }));
    heldFinish = nullptr;

    // The recording recognised again, the stream having heard nothing.
    fileAnswers.gate = std::make_shared<Gate>();
    ASSERT_NO_FATAL_FAILURE(quitWhileTheStopWaits(
        QString(), [&] { return fileCalls.size() == 1u; }, "the file recognition",
        [&] { fileAnswers.gate->open(); }));
    fileAnswers.gate = nullptr;

    // The focused application's context, which the start still reads when
    // the stop needs it, and then the formatter.
    contextGate = std::make_shared<Gate>();
    const int capturesBefore = contextCaptures;
    ASSERT_NO_FATAL_FAILURE(quitWhileTheStopWaits(
        spoken,
        [&] {
            return contextCaptures == capturesBefore + 1 &&
                   panel->calls().contains(QStringLiteral("thinking 整理中"));
        },
        "the context", [&] { contextGate->open(); }));
    contextGate = nullptr;
    formatterAnswers.gate = std::make_shared<Gate>();
    ASSERT_NO_FATAL_FAILURE(quitWhileTheStopWaits(
        spoken, [&] { return !formatterCalls.empty(); }, "the formatter",
        [&] { formatterAnswers.gate->open(); }));
    formatterAnswers.gate = nullptr;

    EXPECT_EQ(formatterCalls.size(), 1u);
    EXPECT_TRUE(insertionCalls.empty());
    EXPECT_TRUE(runTask(history.loadRecords()).isEmpty());

    // Once the record is the history store's, the store files it all the
    // same.
    historyPause.arm();
    ASSERT_NO_FATAL_FAILURE(quitWhileTheStopWaits(
        spoken, [&] { return historyPause.reached(); }, "the save",
        [&] { historyPause.resume(); }));
    EXPECT_EQ(insertionCalls.size(), 1u);
    const QList<TranscriptRecord> stored = runTask(history.loadRecords());
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].transcript, QStringLiteral("说完的话。"));
}

TEST_F(DictationTest, WithoutAnySpeechConfigurationTheStartFailsAndNothingRuns) {
    makeStore(false);
    makeViewModel();
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::failed(QStringLiteral(
                                               "Vellup ASR 配置不可用，请联系开发处理内置凭证。")));
    EXPECT_TRUE(transcribers.empty());
    EXPECT_FALSE(input->isRunning());
    EXPECT_EQ(panel->calls(), (QStringList{QStringLiteral("hide"), QStringLiteral("hide")}));
    EXPECT_EQ(gateway->speechRequests, 0) << "no gateway configured, none asked";

    // Direct credentials without a gateway: the store's own configuration.
    giveDirectSpeechCredentials();
    press();
    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());
    EXPECT_EQ(transcriber().configuration.appID, QStringLiteral("app-1"));
    EXPECT_FALSE(transcriber().configuration.usesGateway());
}

TEST_F(DictationTest, AStartThatFailsUndoesWhatItSetUp) {
    useGatewayForSpeechOnly();
    defaultTranscriberScript.startError = errorOf(TextError(QStringLiteral("连接被拒绝")));
    makeViewModel();
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::failed(QStringLiteral("连接被拒绝")));
    EXPECT_GE(transcriber().cancelCount.load(), 1) << "the half-started recogniser is abandoned";
    EXPECT_FALSE(input->isRunning());

    // The microphone refusing: the capture service's own words.
    defaultTranscriberScript.startError = nullptr;
    input->setHasDefaultInputDevice(false);
    press();
    EXPECT_EQ(viewModel->recordingState(),
              RecordingState::failed(
                  AudioCaptureError(AudioCaptureError::Kind::microphonePermissionDenied)
                      .localizedDescription()));
    EXPECT_GE(lastTranscriber().cancelCount.load(), 1);
    EXPECT_EQ(viewModel->waveformLevels(), TranscriberViewModel::idleWaveformLevels());
    EXPECT_EQ(panel->last(), QStringLiteral("hide"));

    // A failed state is left by the next press.
    input->setHasDefaultInputDevice(true);
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
}

} // namespace
} // namespace tovalit
