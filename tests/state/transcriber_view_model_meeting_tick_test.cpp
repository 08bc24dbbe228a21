#include "support/textkit.h"
#include "tests/state/meeting_view_model_harness.h"

namespace tovalit {
namespace {

using namespace testing;
using namespace Qt::StringLiterals;

QString repeated(const QString &piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

QStringList moduleNames(const MeetingMinuteBlock &block) {
    QStringList names;
    for (const MeetingTextModule &module : block.textModules())
        names << module.title;
    for (const MeetingVisualModule &module : block.visualModules())
        names << module.title;
    return names;
}

class MeetingTickTest : public MeetingViewModelTest {
protected:
    // A meeting whose second tick's request is out, its answer held by
    // formatterAnswers.gate.
    void holdTheSecondTick() {
        formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 下调"_s}));
        formatterAnswers.script.push_back(stageAnswer(u"人力成本"_s, {u"控制 => 不加人"_s}));
        makeViewModel();
        enterMeeting(u"今天讨论预算。"_s);
        speak(u"今天讨论预算。人力成本也要控制。"_s);
        formatterAnswers.gate = std::make_shared<Gate>();
        sleepPasses(30.0);
        ASSERT_EQ(formatterCalls.size(), 2u);
    }
    // The session of every decision record, in order.
    QStringList decisionSessions() const {
        QStringList sessions;
        const QStringList lines = meetingLog().split(u'\n');
        for (qsizetype index = 1; index < lines.size(); ++index) {
            if (lines[index - 1].endsWith(u"[meeting.incremental]"_s))
                sessions << lines[index].mid(11);
        }
        return sessions;
    }
};

TEST_F(MeetingTickTest, EachTickAppendsMergesOrDeclinesAndAFailureLeavesTheTreeAsItWas) {
    for (const QString &answer :
         {stageAnswer(u"预算讨论"_s, {u"结论 => 预算下调一成"_s}),
          stageAnswer(u"预算讨论"_s, {u"人力 => 控制人力成本"_s}),
          stageAnswer(u"招聘计划"_s, {u"节奏 => 下季度招两人"_s}), u"  [不新增] "_s}) {
        formatterAnswers.script.push_back(answer);
    }
    formatterAnswers.script.push_back(errorOf(TextError(u"服务暂不可用"_s)));
    formatterAnswers.script.push_back(u"这不是树形语言的回答"_s);
    makeViewModel();
    enterMeeting(u"今天讨论预算。"_s);
    ASSERT_EQ(viewModel->meetingBlocks().size(), 1);
    const MeetingMinuteBlock first = viewModel->meetingBlocks()[0];

    // Same title: folded into the current stage, whose context the request
    // carried.
    QString said = u"今天讨论预算。人力成本也要控制。"_s;
    speak(said);
    sleepPasses(30.0);
    ASSERT_EQ(formatterCalls.size(), 2u);
    EXPECT_EQ(formatterCalls[1].text, u"人力成本也要控制。"_s);
    StructuredFormattingTask::MeetingIncremental expected;
    expected.tickIndex = 2;
    expected.rangeLabel = u"01:10 - 01:40"_s;
    expected.currentStageTitle = u"预算讨论"_s;
    expected.currentStageOutline = first.promptFragment();
    expected.currentStageModules = moduleNames(first);
    expected.currentStageTextModuleCount = 1;
    expected.recentContext = u"今天讨论预算。\n人力成本也要控制。"_s;
    expected.pendingSeconds = 30;
    EXPECT_EQ(tickRequest(1), expected);
    ASSERT_EQ(viewModel->meetingBlocks().size(), 1);
    EXPECT_EQ(viewModel->meetingBlocks()[0].id(), first.id());
    EXPECT_EQ(viewModel->meetingBlocks()[0].endSecond(), 100);
    EXPECT_EQ(viewModel->meetingBlocks()[0].textModules().size(), 2);

    // A new title: a new stage numbered after the last.
    said += u"接下来说招聘。"_s;
    speak(said);
    sleepPasses(30.0);
    EXPECT_EQ(formatterCalls.back().text, u"接下来说招聘。"_s);
    ASSERT_EQ(viewModel->meetingBlocks().size(), 2);
    const MeetingMinuteBlock second = viewModel->meetingBlocks()[1];
    EXPECT_EQ(second.title(), u"招聘计划"_s);
    EXPECT_EQ(second.index(), 2);
    EXPECT_EQ(second.startSecond(), 100);
    EXPECT_EQ(second.endSecond(), 130);

    // Declined: the same text is not offered again until more arrives.
    said += u"还要看预算。"_s;
    speak(said);
    sleepPasses(30.0);
    EXPECT_EQ(tickRequest(3).previousStages,
              QStringList{viewModel->meetingBlocks()[0].promptOutlineFragment()});
    EXPECT_EQ(tickRequest(3).tickIndex, 3);
    sleepPasses(30.0);
    EXPECT_EQ(formatterCalls.size(), 4u) << "nothing new, nothing sent";
    EXPECT_EQ(decisionResults().size(), 4) << "and nothing recorded";

    // A failed request and an unusable answer change nothing; the pending
    // text, grown meanwhile, is offered again.
    said += u"再补一句。"_s;
    speak(said);
    const QList<MeetingMinuteBlock> before = viewModel->meetingBlocks();
    sleepPasses(30.0);
    EXPECT_EQ(formatterCalls.back().text, u"还要看预算。\n再补一句。"_s);
    EXPECT_EQ(viewModel->meetingBlocks(), before);
    sleepPasses(30.0);
    ASSERT_EQ(formatterCalls.size(), 6u);
    EXPECT_EQ(formatterCalls.back().text, u"还要看预算。\n再补一句。"_s);
    EXPECT_EQ(tickRequest(5).rangeLabel, u"02:10 - 04:10"_s);
    EXPECT_EQ(viewModel->meetingBlocks(), before);

    EXPECT_EQ(decisionResults(), (QStringList{u"append_new_stage"_s, u"merge_into_current_stage"_s,
                                              u"append_new_stage"_s, u"ignored"_s,
                                              u"formatter_failed"_s, u"invalid_structure"_s}));
    ASSERT_NE(panel->lastDisplayState.meetingContent(), nullptr);
    EXPECT_EQ(panel->lastDisplayState.meetingContent()->blocks, before);
}

TEST_F(MeetingTickTest, MustDecideFollowsTheAgeAndLengthOfThePendingText) {
    formatterAnswers.script.push_back(u"[不新增]"_s);
    formatterAnswers.script.push_back(stageAnswer(u"开场"_s, {u"议程 => 先过预算"_s}));
    formatterAnswers.script.push_back(errorOf(TextError(u"超时"_s)));
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 下调"_s}));
    makeViewModel();

    // The first stage must land: a declined answer is asked again at the
    // next tick, not skipped.
    enterMeeting(u"开场白"_s);
    EXPECT_TRUE(viewModel->meetingBlocks().isEmpty());
    sleepPasses(30.0);
    ASSERT_EQ(formatterCalls.size(), 2u);
    EXPECT_EQ(formatterCalls[1].text, u"开场白"_s);
    EXPECT_TRUE(tickRequest(1).mustDecide);
    EXPECT_TRUE(tickRequest(1).mustLandStage);
    ASSERT_EQ(viewModel->meetingBlocks().size(), 1);

    // 479 characters, 44 s old: no decision forced.
    const QString opening = u"开场白"_s + repeated(u"字"_s, 479);
    speak(opening);
    sleepPasses(44.0);
    ASSERT_EQ(formatterCalls.size(), 3u);
    EXPECT_EQ(textkit::graphemeCount(formatterCalls[2].text), 479);
    EXPECT_EQ(tickRequest(2).pendingSeconds, 44);
    EXPECT_FALSE(tickRequest(2).mustDecide);
    EXPECT_FALSE(tickRequest(2).mustLandStage);

    // One second later the same text is 45 s old.
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 16.0) << "the loop keeps its grid";
    sleepPasses(1.0);
    ASSERT_EQ(formatterCalls.size(), 4u);
    EXPECT_EQ(tickRequest(3).pendingSeconds, 45);
    EXPECT_TRUE(tickRequest(3).mustDecide);
    EXPECT_FALSE(tickRequest(3).mustLandStage) << "a stage exists";

    // 480 characters force a decision at any age.
    speak(opening + repeated(u"甲"_s, 480));
    sleepPasses(10.0);
    ASSERT_EQ(formatterCalls.size(), 5u);
    EXPECT_EQ(formatterCalls[4].text, repeated(u"甲"_s, 480));
    EXPECT_EQ(tickRequest(4).pendingSeconds, 10);
    EXPECT_TRUE(tickRequest(4).mustDecide);

    EXPECT_EQ(decisionResults().value(0), u"ignored_no_update_while_must_land"_s);
}

TEST_F(MeetingTickTest, ALongTickIsFollowedAtOnceAndTheLoopKeepsItsGrid) {
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 下调"_s}));
    formatterAnswers.script.push_back(stageAnswer(u"人力成本"_s, {u"控制 => 不加人"_s}));
    formatterAnswers.script.push_back(stageAnswer(u"招聘计划"_s, {u"节奏 => 下季度"_s}));
    makeViewModel();
    enterMeeting(u"今天讨论预算。"_s);

    speak(u"今天讨论预算。人力成本也要控制。"_s);
    formatterAnswers.gate = std::make_shared<Gate>();
    sleepPasses(30.0);
    ASSERT_EQ(formatterCalls.size(), 2u) << "the request is out";
    // Said while the request is out: not part of it, so not settled by it.
    speak(u"今天讨论预算。人力成本也要控制。接下来说招聘。"_s);
    time.advance(40.0);
    const std::size_t sleeps = sessionSleeps.count();
    formatterAnswers.gate->open();
    settle();

    ASSERT_EQ(formatterCalls.size(), 3u) << "the overdue tick runs without a wait";
    EXPECT_EQ(sessionSleeps.count(), sleeps + 1);
    EXPECT_EQ(formatterCalls[2].text, u"接下来说招聘。"_s);
    EXPECT_EQ(tickRequest(2).rangeLabel, u"01:40 - 02:20"_s);
    ASSERT_EQ(viewModel->meetingBlocks().size(), 3);
    EXPECT_EQ(viewModel->meetingBlocks()[1].startSecond(), 70);
    EXPECT_EQ(viewModel->meetingBlocks()[1].endSecond(), 100);
    EXPECT_EQ(viewModel->meetingBlocks()[2].startSecond(), 100);
    EXPECT_DOUBLE_EQ(lastSleep().seconds, 20.0) << "back on the 30 s grid";
}

TEST_F(MeetingTickTest, ARequestShowsTheNearestStagesAndTheRecentRawText) {
    const QStringList titles{u"预算讨论"_s, u"人员招聘"_s, u"市场推广"_s, u"技术架构"_s,
                             u"客户反馈"_s, u"法务合规"_s, u"财务审计"_s, u"行政后勤"_s};
    for (const QString &title : titles)
        formatterAnswers.script.push_back(stageAnswer(title, {u"要点 => "_s + title}));
    formatterAnswers.script.push_back(errorOf(TextError(u"超时"_s)));
    formatterAnswers.script.push_back(errorOf(TextError(u"超时"_s)));
    makeViewModel();

    // Sentences long enough to be one raw segment each.
    const auto sentence = [](int number) -> QString {
        return u"第"_s + QString::number(number) + u"段"_s + repeated(u"话"_s, 65) + u"。"_s;
    };
    QString said = sentence(1);
    enterMeeting(said);
    for (int number = 2; number <= 8; ++number) {
        said += sentence(number);
        speak(said);
        sleepPasses(30.0);
    }
    const QList<MeetingMinuteBlock> blocks = viewModel->meetingBlocks();
    ASSERT_EQ(blocks.size(), 8);

    said += sentence(9);
    speak(said);
    sleepPasses(30.0);
    ASSERT_EQ(formatterCalls.size(), 9u);
    const StructuredFormattingTask::MeetingIncremental ninth = tickRequest(8);
    QStringList nearest;
    for (int index = 2; index <= 6; ++index)
        nearest << blocks[index].promptOutlineFragment();
    EXPECT_EQ(ninth.previousStages, nearest) << "stages 3 to 7, in order";
    EXPECT_EQ(ninth.currentStageTitle, u"行政后勤"_s);
    EXPECT_EQ(ninth.currentStageOutline, blocks[7].promptFragment());
    EXPECT_EQ(ninth.tickIndex, 9);
    EXPECT_EQ(ninth.recentContext, sentence(8) + u"\n"_s + sentence(9));

    // Without raw segments the context is the tail of the last transcript.
    speak(u"   "_s);
    EXPECT_TRUE(viewModel->meetingRawSegments().isEmpty());
    sleepPasses(30.0);
    ASSERT_EQ(formatterCalls.size(), 10u);
    EXPECT_EQ(tickRequest(9).recentContext, textkit::graphemeSuffix(said, 220));
    EXPECT_EQ(formatterCalls[9].text, sentence(9)) << "an empty update keeps the pending text";
}

TEST_F(MeetingTickTest, RawSegmentsFollowTheLiveText) {
    formatterAnswers.script.push_back(errorOf(TextError(u"超时"_s)));
    makeViewModel();
    enterMeeting(u"第一句。第二句"_s);
    ASSERT_EQ(viewModel->meetingRawSegments().size(), 1);
    EXPECT_EQ(viewModel->meetingRawSegments()[0].text, u"第一句。\n第二句"_s);

    speak(u"第一句。第二句！第三句"_s);
    ASSERT_EQ(viewModel->meetingRawSegments().size(), 1);
    EXPECT_EQ(viewModel->meetingRawSegments()[0].text, u"第一句。\n第二句！\n第三句"_s);
    EXPECT_TRUE(viewModel->meetingRawSegments()[0].isLive);
    ASSERT_NE(panel->lastDisplayState.meetingContent(), nullptr);
    EXPECT_EQ(panel->lastDisplayState.meetingContent()->rawSegments,
              viewModel->meetingRawSegments());

    // The recogniser takes back its last words: nothing is added.
    speak(u"第一句。第二句！"_s);
    EXPECT_EQ(viewModel->meetingRawSegments()[0].text, u"第一句。\n第二句！"_s);
    speak(u" "_s);
    EXPECT_TRUE(viewModel->meetingRawSegments().isEmpty());

    sleepPasses(30.0);
    ASSERT_EQ(formatterCalls.size(), 2u);
    EXPECT_EQ(formatterCalls[1].text, u"第一句。第二句\n！第三句"_s);
    EXPECT_EQ(tickRequest(1).recentContext, u"第一句。第二句！"_s);
}

TEST_F(MeetingTickTest, SwitchingTheSettingOffEndsTheLoopButNotTheMeeting) {
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 下调"_s}));
    formatterAnswers.script.push_back(u"## 会议纪要"_s);
    defaultTranscriberScript.finishText = u"今天讨论预算。还有别的。"_s;
    makeViewModel();
    enterMeeting(u"今天讨论预算。"_s);
    store->setMeetingModeEnabled(false);
    speak(u"今天讨论预算。还有别的。"_s);
    const std::size_t sleeps = sessionSleeps.count();
    sleepPasses(30.0);
    EXPECT_EQ(formatterCalls.size(), 1u) << "no tick";
    EXPECT_EQ(sessionSleeps.count(), sleeps) << "and no further wait";
    EXPECT_TRUE(viewModel->hasEnteredMeetingMode());
    // Still a meeting, so its stream events are still written.
    lastTranscriber().breakStream(errorOf(TextError(u"连接断开"_s)));
    settle();
    EXPECT_TRUE(meetingLog().contains(u"\nevent=interrupted\ndetail=连接断开\n"_s));

    stopRecording();
    EXPECT_TRUE(formatterCalls.back().task.isMeetingFinal());
    EXPECT_EQ(viewModel->records().value(0).transcript, u"## 会议纪要"_s);
}

TEST_F(MeetingTickTest, AnAnswerArrivingAfterTheStopLeavesThePanelAndTheTreeAlone) {
    formatterAnswers.fallback = u"## 会议纪要\n- 预算下调"_s;
    ASSERT_NO_FATAL_FAILURE(holdTheSecondTick());

    // The finish button stops the meeting while that tick's request is out;
    // the stop then waits for its minutes.
    panel->onFinish();
    settle();
    ASSERT_EQ(viewModel->recordingState(), RecordingState::thinking());
    const qsizetype stopShown = events->events().lastIndexOf(u"panel thinking 思考中"_s);
    ASSERT_GE(stopShown, 0);
    formatterAnswers.gate->open();
    settle();
    ASSERT_TRUE(waitUntil([&] { return viewModel->recordingState() == RecordingState::idle(); },
                          "the stop"));

    EXPECT_FALSE(events->events().mid(stopShown).contains(u"panel recording"_s))
        << "the meeting panel never comes back over the stop";
    // The model did answer, so the answer is on record, with the meeting
    // that asked, though it came too late to count.
    EXPECT_EQ(decisionResults(), (QStringList{u"append_new_stage"_s, u"ignored_after_stop"_s}));
    const QStringList sessions = decisionSessions();
    ASSERT_EQ(sessions.size(), 2);
    EXPECT_EQ(sessions[1], sessions[0]);
    EXPECT_TRUE(meetingLog().contains(u"response=[阶段] 人力成本 [文本模块] 控制 => 不加人\n"_s));
    EXPECT_EQ(viewModel->finalTranscript(), u"## 会议纪要\n- 预算下调"_s);
}

TEST_F(MeetingTickTest, AnAnswerArrivingAfterTheRecordingWasCancelledChangesNothing) {
    ASSERT_NO_FATAL_FAILURE(holdTheSecondTick());

    panel->onCancel();
    settle();
    formatterAnswers.gate->open();
    settle();
    EXPECT_TRUE(viewModel->meetingBlocks().isEmpty());
    EXPECT_EQ(decisionResults(), (QStringList{u"append_new_stage"_s, u"ignored_after_stop"_s}));
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
}

} // namespace
} // namespace tovalit
