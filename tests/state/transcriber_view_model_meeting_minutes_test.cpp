#include "services/meeting/meeting_local_minutes.h"
#include "tests/state/meeting_view_model_harness.h"

namespace tovalit {
namespace {

using namespace testing;
using namespace Qt::StringLiterals;

class MeetingMinutesTest : public MeetingViewModelTest {
protected:
    // A meeting of three stages, stopped with `finalAnswer` scripted for
    // the minutes.
    void holdThreeStageMeeting() {
        for (const QString &title : {u"预算讨论"_s, u"人员招聘"_s, u"市场推广"_s})
            formatterAnswers.script.push_back(stageAnswer(title, {u"要点 => "_s + title}));
        defaultTranscriberScript.finishText = u"预算。招聘。推广。"_s;
        makeViewModel();
        enterMeeting(u"预算。"_s);
        speak(u"预算。招聘。"_s);
        sleepPasses(30.0);
        speak(u"预算。招聘。推广。"_s);
        sleepPasses(30.0);
        ASSERT_EQ(viewModel->meetingBlocks().size(), 3);
    }
    QString deliveredText() const {
        return insertionCalls.empty() ? QString() : insertionCalls.back().text;
    }
    QString recordNote() const { return viewModel->records().value(0).note.value_or(QString()); }
};

TEST_F(MeetingMinutesTest, TheStopOfAMeetingDeliversTheModelsMinutes) {
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 下调"_s}));
    formatterAnswers.script.push_back(u"\n## 会议纪要\n- 预算下调一成\n  "_s);
    defaultTranscriberScript.finishText = u"今天讨论预算。预算下调一成。"_s;
    makeViewModel();
    enterMeeting(u"今天讨论预算。"_s);
    stopRecording();

    ASSERT_EQ(formatterCalls.size(), 2u);
    EXPECT_TRUE(formatterCalls[1].task.isMeetingFinal());
    EXPECT_EQ(formatterCalls[1].text, u"今天讨论预算。预算下调一成。"_s)
        << "the whole transcript, not the pending window";
    EXPECT_TRUE(panel->calls().contains(u"thinking 纪要生成中"_s));
    EXPECT_EQ(deliveredText(), u"## 会议纪要\n- 预算下调一成"_s);
    const TranscriptRecord record = viewModel->records().value(0);
    EXPECT_EQ(record.transcript, u"## 会议纪要\n- 预算下调一成"_s);
    EXPECT_EQ(record.rawTranscript, u"今天讨论预算。预算下调一成。"_s);
    EXPECT_FALSE(recordNote().contains(u"纪要"_s));

    // The stop resets the meeting for the next recording.
    EXPECT_FALSE(viewModel->hasEnteredMeetingMode());
    EXPECT_TRUE(viewModel->meetingBlocks().isEmpty());
    EXPECT_TRUE(viewModel->meetingRawSegments().isEmpty());
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
}

TEST_F(MeetingMinutesTest, WithoutAFormatterTheTreeBecomesTheMinutes) {
    holdThreeStageMeeting();
    const QList<MeetingMinuteBlock> blocks = viewModel->meetingBlocks();
    gateway->defaultFormatter.reset();
    stopRecording();

    EXPECT_FALSE(formatterCalls.back().task.isMeetingFinal()) << "no request without a formatter";
    const QString minutes = deliveredText();
    EXPECT_EQ(minutes, MeetingLocalMinutes::fromBlocks(blocks));
    EXPECT_TRUE(minutes.startsWith(u"## 会议概览\n"_s + blocks[0].textModules()[0].body +
                                   u"\n\n## 讨论演进\n### 预算讨论\n- 要点："_s))
        << u8(minutes);
    EXPECT_EQ(minutes.count(u"\n\n### "_s), 2) << "three stages, a blank line between them";
    EXPECT_TRUE(recordNote().contains(u"纪要配置不可用，已使用实时总结模板"_s)) << u8(recordNote());
    EXPECT_EQ(viewModel->records().value(0).transcript, minutes);
}

TEST_F(MeetingMinutesTest, AnEmptyAnswerAlsoFallsBackToTheTree) {
    holdThreeStageMeeting();
    const QList<MeetingMinuteBlock> blocks = viewModel->meetingBlocks();
    formatterAnswers.script.push_back(u" \n\t "_s);
    stopRecording();
    EXPECT_TRUE(formatterCalls.back().task.isMeetingFinal());
    EXPECT_EQ(deliveredText(), MeetingLocalMinutes::fromBlocks(blocks));
    EXPECT_TRUE(recordNote().contains(u"模型返回为空，已使用实时总结模板"_s)) << u8(recordNote());
}

TEST_F(MeetingMinutesTest, AFailedRequestWithoutATreeDeliversTheCleanedTranscript) {
    formatterAnswers.script.push_back(errorOf(TextError(u"无法连接"_s)));
    formatterAnswers.script.push_back(errorOf(TextError(u"服务器无响应"_s)));
    defaultTranscriberScript.finishText = u"嗯，今天我们讨论预算。"_s;
    makeViewModel();
    enterMeeting(u"嗯，今天我们讨论预算。"_s);
    ASSERT_TRUE(viewModel->meetingBlocks().isEmpty());
    stopRecording();

    EXPECT_TRUE(formatterCalls.back().task.isMeetingFinal());
    TranscriptCleanupService cleanup;
    const QString cleaned = cleanup.clean(u"嗯，今天我们讨论预算。"_s);
    EXPECT_EQ(deliveredText(), cleaned.isEmpty() ? u"嗯，今天我们讨论预算。"_s : cleaned);
    EXPECT_TRUE(recordNote().contains(
        u"纪要整理失败（host: 127.0.0.1, model: vellup-seed-1-6-flash-250828）：服务器无响应"_s))
        << u8(recordNote());
}

TEST_F(MeetingMinutesTest, AMeetingWhoseStreamWasRebuiltKeepsItsLiveTextAndSaysWordsMayBeMissing) {
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 下调"_s}));
    formatterAnswers.fallback = u"## 会议纪要"_s;
    makeViewModel();
    enterMeeting(u"今天讨论预算。"_s);
    transcriberScripts.push_back({nullptr, nullptr, u"预算下调一成。"_s, nullptr});
    lastTranscriber().breakStream(errorOf(TextError(u"连接断开"_s)));
    settle();
    ASSERT_EQ(transcribers.size(), 2u) << "rebuilt";
    speak(u"预算下调一成。"_s);
    stopRecording();

    EXPECT_TRUE(fileCalls.empty()) << "a meeting is too long for the file recogniser";
    EXPECT_EQ(viewModel->records().value(0).rawTranscript, u"今天讨论预算。\n预算下调一成。"_s);
    EXPECT_TRUE(recordNote().startsWith(u"当前使用Vellup流式 ASR 2.0（已恢复） + 会议纪要模式；"
                                        u"Vellup流式 ASR 中断处的文字可能缺失"_s))
        << u8(recordNote());
}

TEST_F(MeetingMinutesTest, AControllerThatGoesWhileTheMinutesAreWrittenLeavesThemUnheard) {
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 下调"_s}));
    defaultTranscriberScript.finishText = u"今天讨论预算。预算下调一成。"_s;
    makeViewModel();
    enterMeeting(u"今天讨论预算。"_s);
    formatterAnswers.gate = std::make_shared<Gate>();
    time.advance(2.0);
    QCoro::Task<void> stopping = viewModel->toggleRecording();
    ASSERT_TRUE(waitUntil([&] { return formatterCalls.back().task.isMeetingFinal(); },
                          "the minutes' request"));
    viewModel.reset();
    formatterAnswers.gate->open();
    settle();
    EXPECT_TRUE(insertionCalls.empty());
    EXPECT_TRUE(runTask(history.loadRecords()).isEmpty());
}

TEST_F(MeetingMinutesTest, AMeetingWithoutAnyTextAsksForNoMinutes) {
    makeViewModel();
    enterMeeting(QString());
    stopRecording();
    for (const FormatterCall &call : formatterCalls)
        EXPECT_FALSE(call.task.isMeetingFinal());
    EXPECT_FALSE(panel->calls().contains(u"thinking 纪要生成中"_s));
    EXPECT_EQ(viewModel->records().value(0).status, TranscriptRecordStatus::failed);
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
}

} // namespace
} // namespace tovalit
