#include "tests/state/meeting_view_model_harness.h"

namespace tovalit {
namespace {

using namespace testing;
using namespace Qt::StringLiterals;

QString countdownToast(int seconds) {
    return u"录音已超过 1 分钟，将在 "_s + QString::number(seconds) +
           u" 秒后自动进入会议纪要模式"_s;
}

class MeetingLifecycleTest : public MeetingViewModelTest {};

TEST_F(MeetingLifecycleTest, ALongRecordingCountsDownAndThenBecomesAMeeting) {
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 预算下调一成"_s}));
    makeViewModel();
    startRecording();
    ASSERT_EQ(sessionSleeps.count(), 1u);
    EXPECT_DOUBLE_EQ(sessionSleeps.at(0).seconds, 60.0);
    speak(u"今天讨论预算。下个月开始执行"_s);
    EXPECT_TRUE(viewModel->meetingRawSegments().isEmpty()) << "nothing is kept before entry";
    EXPECT_FALSE(panel->lastRecordingToast.has_value());

    sleepPasses(60.0);
    EXPECT_EQ(viewModel->meetingModeCountdownRemainingSeconds(), 10);
    EXPECT_EQ(panel->lastRecordingToast, countdownToast(10));
    EXPECT_EQ(panel->lastRecordingToastAction, u"取消"_s);
    EXPECT_TRUE(panel->lastDisplayState.isCompact());
    EXPECT_EQ(viewModel->statusHint(),
              u"检测到长录音，10 秒后自动进入会议纪要模式；点右侧对勾可立即进入。"_s);
    for (int remaining = 9; remaining >= 1; --remaining) {
        ASSERT_DOUBLE_EQ(lastSleep().seconds, 1.0);
        sleepPasses(1.0);
        EXPECT_EQ(viewModel->meetingModeCountdownRemainingSeconds(), remaining);
        EXPECT_EQ(panel->lastRecordingToast, countdownToast(remaining));
    }
    EXPECT_FALSE(viewModel->hasEnteredMeetingMode()) << "the last value stands its second";
    EXPECT_TRUE(formatterCalls.empty());

    sleepPasses(1.0);
    ASSERT_TRUE(viewModel->hasEnteredMeetingMode());
    EXPECT_FALSE(viewModel->meetingModeCountdownRemainingSeconds().has_value());
    EXPECT_FALSE(panel->lastRecordingToast.has_value());
    EXPECT_FALSE(panel->lastRecordingToastAction.has_value());

    // The whole transcript so far, from second 0, is the first request; it
    // must land a stage since there is none yet.
    ASSERT_EQ(formatterCalls.size(), 1u);
    EXPECT_EQ(formatterCalls[0].text, u"今天讨论预算。下个月开始执行"_s);
    EXPECT_EQ(formatterCalls[0].configuration, gatewayFormatter());
    StructuredFormattingTask::MeetingIncremental expected;
    expected.tickIndex = 1;
    expected.rangeLabel = u"00:00 - 01:10"_s;
    expected.recentContext = u"今天讨论预算。\n下个月开始执行"_s;
    expected.pendingSeconds = 70;
    expected.mustDecide = true;
    expected.mustLandStage = true;
    EXPECT_EQ(tickRequest(0), expected);

    ASSERT_EQ(viewModel->meetingBlocks().size(), 1);
    // A copy: the list returned is a temporary, and the controller replaces
    // its own blocks as the meeting goes on.
    const MeetingMinuteBlock stage = viewModel->meetingBlocks()[0];
    EXPECT_EQ(stage.title(), u"预算讨论"_s);
    EXPECT_EQ(stage.index(), 1);
    EXPECT_EQ(stage.startSecond(), 0);
    EXPECT_EQ(stage.endSecond(), 70);
    EXPECT_EQ(stage.createdAt(), time.now());

    // The panel has expanded and shows the tree and the raw text.
    const MeetingHUDContent *content = panel->lastDisplayState.meetingContent();
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->elapsedLabel, u"01:10"_s);
    EXPECT_EQ(content->blocks, viewModel->meetingBlocks());
    ASSERT_EQ(content->rawSegments.size(), 1);
    EXPECT_EQ(content->rawSegments[0].text, u"今天讨论预算。\n下个月开始执行"_s);
    EXPECT_TRUE(content->rawSegments[0].isLive);

    // The summary loop waits one interval.
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 30.0);
}

TEST_F(MeetingLifecycleTest, TheToastButtonKeepsTheRecordingADictation) {
    formatterAnswers.fallback = u"整理好的文本"_s;
    defaultTranscriberScript.finishText = u"还是普通听写"_s;
    makeViewModel();
    startRecording();
    reachThreshold();
    const std::size_t sleeps = sessionSleeps.count();

    panel->onToastAction();
    settle();
    EXPECT_FALSE(viewModel->meetingModeCountdownRemainingSeconds().has_value());
    EXPECT_FALSE(panel->lastRecordingToast.has_value()) << "the toast goes at once";
    EXPECT_FALSE(panel->lastRecordingToastAction.has_value());
    EXPECT_TRUE(lastSleep().token.isCancelled()) << "the countdown stops";

    // Dismissed for the rest of this recording, whatever the setting does.
    store->setMeetingModeEnabled(false);
    store->setMeetingModeEnabled(true);
    settle();
    EXPECT_EQ(sessionSleeps.count(), sleeps);
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());

    stopRecording();
    ASSERT_EQ(formatterCalls.size(), 1u);
    EXPECT_NE(formatterCalls[0].task.asNatural(), nullptr) << "formatted in natural mode";
    EXPECT_EQ(viewModel->records().value(0).transcript, u"整理好的文本"_s);

    // The next recording is offered as a meeting again.
    startRecording();
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 60.0);
}

TEST_F(MeetingLifecycleTest, TheSettingArmsAndDisarmsTheThresholdDuringARecording) {
    formatterAnswers.fallback = u"整理好的文本"_s;
    defaultTranscriberScript.finishText = u"普通听写"_s;
    store->setMeetingModeEnabled(false);
    makeViewModel();

    // Off at the start: nothing waits. On at 75 s: already past the
    // threshold, so the countdown starts at once.
    startRecording();
    EXPECT_EQ(sessionSleeps.count(), 0u);
    time.advance(75.0);
    store->setMeetingModeEnabled(true);
    EXPECT_EQ(viewModel->meetingModeCountdownRemainingSeconds(), 10);
    settle();
    ASSERT_EQ(sessionSleeps.count(), 1u);
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 1.0);

    // Stopped during the countdown: the toast goes and it stays a
    // dictation.
    stopRecording();
    EXPECT_FALSE(viewModel->meetingModeCountdownRemainingSeconds().has_value());
    EXPECT_FALSE(viewModel->hasEnteredMeetingMode());
    EXPECT_TRUE(lastSleep().token.isCancelled());
    ASSERT_EQ(formatterCalls.size(), 1u);
    EXPECT_NE(formatterCalls[0].task.asNatural(), nullptr);

    // Off at 30 s and on again at 40 s: a fresh wait for the remaining
    // 20 s.
    startRecording();
    const std::size_t armed = sessionSleeps.count() - 1;
    EXPECT_DOUBLE_EQ(sessionSleeps.at(armed).seconds, 60.0);
    time.advance(30.0);
    store->setMeetingModeEnabled(false);
    EXPECT_TRUE(sessionSleeps.at(armed).token.isCancelled());
    time.advance(10.0);
    store->setMeetingModeEnabled(true);
    settle();
    ASSERT_EQ(sessionSleeps.count(), armed + 2);
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 20.0);

    // Off during the countdown dismisses it; on again arms nothing.
    sleepPasses(20.0);
    ASSERT_EQ(viewModel->meetingModeCountdownRemainingSeconds(), 10);
    store->setMeetingModeEnabled(false);
    EXPECT_FALSE(viewModel->meetingModeCountdownRemainingSeconds().has_value());
    EXPECT_FALSE(panel->lastRecordingToast.has_value());
    const std::size_t sleeps = sessionSleeps.count();
    store->setMeetingModeEnabled(true);
    settle();
    EXPECT_EQ(sessionSleeps.count(), sleeps);
    EXPECT_FALSE(viewModel->hasEnteredMeetingMode());
}

// The application quits during a recording: the wait for the threshold
// ends with the controller instead of keeping its task for a minute.
TEST_F(MeetingLifecycleTest, TheWaitForTheThresholdEndsWithTheController) {
    makeViewModel();
    startRecording();
    ASSERT_EQ(sessionSleeps.count(), 1u);
    viewModel.reset();
    EXPECT_TRUE(sessionSleeps.at(0).token.isCancelled());
}

TEST_F(MeetingLifecycleTest, TheWaitIsRoundedUpToWholeMilliseconds) {
    store->setMeetingModeEnabled(false);
    makeViewModel();
    startRecording();
    time.advance(59.999);
    store->setMeetingModeEnabled(true);
    settle();
    ASSERT_EQ(sessionSleeps.count(), 1u);
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 0.001);

    // Exactly at the threshold the countdown starts without a wait.
    store->setMeetingModeEnabled(false);
    time.advance(0.001);
    store->setMeetingModeEnabled(true);
    EXPECT_EQ(viewModel->meetingModeCountdownRemainingSeconds(), 10);
}

TEST_F(MeetingLifecycleTest, TheConfirmButtonEntersAtOnceDuringTheCountdownAndStopsOtherwise) {
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 预算下调一成"_s}));
    formatterAnswers.script.push_back(u"## 会议纪要\n- 预算下调一成"_s);
    defaultTranscriberScript.finishText = u"今天讨论预算。"_s;
    makeViewModel();
    startRecording();
    speak(u"今天讨论预算。"_s);
    reachThreshold();
    sleepPasses(1.0);
    ASSERT_EQ(viewModel->meetingModeCountdownRemainingSeconds(), 9);

    panel->onFinish();
    settle();
    EXPECT_TRUE(viewModel->hasEnteredMeetingMode());
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
    EXPECT_TRUE(sessionSleeps.at(sessionSleeps.count() - 2).token.isCancelled())
        << "the countdown stops";
    ASSERT_EQ(formatterCalls.size(), 1u);
    EXPECT_EQ(tickRequest(0).rangeLabel, u"00:00 - 01:01"_s);
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 30.0);

    // No countdown runs now: the button ends the recording.
    panel->onFinish();
    ASSERT_TRUE(waitUntil([&] { return viewModel->recordingState() == RecordingState::idle(); },
                          "the confirm button to stop the meeting"));
    EXPECT_TRUE(formatterCalls.back().task.isMeetingFinal());
    EXPECT_EQ(viewModel->records().value(0).transcript, u"## 会议纪要\n- 预算下调一成"_s);
}

TEST_F(MeetingLifecycleTest, AnyCountdownBelowOneSecondShowsOneForOneSecond) {
    meetingTimings = {5.0, 0, 30.0};
    makeViewModel();
    startRecording();
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 5.0);
    sleepPasses(5.0);
    EXPECT_EQ(viewModel->meetingModeCountdownRemainingSeconds(), 1);
    EXPECT_EQ(panel->lastRecordingToast, countdownToast(1)) << "the toast says one minute";
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 1.0);
    sleepPasses(1.0);
    EXPECT_TRUE(viewModel->hasEnteredMeetingMode());
}

TEST_F(MeetingLifecycleTest, AMeetingWithNothingSaidExpandsAndWaitsWithoutARequest) {
    meetingTimings.updateInterval = 20.0;
    makeViewModel();
    enterMeeting(QString());
    EXPECT_TRUE(formatterCalls.empty());
    ASSERT_NE(panel->lastDisplayState.meetingContent(), nullptr);
    EXPECT_TRUE(panel->lastDisplayState.meetingContent()->blocks.isEmpty());
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 20.0) << "the loop runs";
    // What the user reads is the interval the loop keeps.
    EXPECT_DOUBLE_EQ(panel->lastDisplayState.meetingContent()->updateInterval, 20.0);
    EXPECT_EQ(viewModel->statusHint(),
              u"会议纪要模式进行中，正在每 20 秒检查一次是否需要扩展会议时间树。"_s);
    EXPECT_TRUE(decisionResults().isEmpty());
    EXPECT_TRUE(
        meetingLog().contains(u"\nevent=entered_meeting_mode\ndetail=snapshot_chars=0\n"_s));
}

TEST_F(MeetingLifecycleTest, ACancelledMeetingLeavesNothingBehind) {
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 预算下调一成"_s}));
    makeViewModel();
    enterMeeting(u"今天讨论预算。"_s);
    ASSERT_EQ(viewModel->meetingBlocks().size(), 1);
    const std::size_t loopSleep = sessionSleeps.count() - 1;

    panel->onCancel();
    settle();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_FALSE(viewModel->hasEnteredMeetingMode());
    EXPECT_TRUE(viewModel->meetingBlocks().isEmpty());
    EXPECT_TRUE(viewModel->meetingRawSegments().isEmpty());
    EXPECT_TRUE(sessionSleeps.at(loopSleep).token.isCancelled());
    EXPECT_EQ(formatterCalls.size(), 1u) << "no minutes for a cancelled meeting";
    EXPECT_TRUE(viewModel->records().isEmpty());
}

} // namespace
} // namespace tovalit
