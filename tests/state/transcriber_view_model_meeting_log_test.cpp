#include "support/regex.h"
#include "tests/state/meeting_view_model_harness.h"

namespace tovalit {
namespace {

using namespace testing;
using namespace Qt::StringLiterals;

class MeetingLogTest : public MeetingViewModelTest {
protected:
    // The session identifier of the newest record.
    QString lastSessionID() const {
        const QStringList lines = meetingLog().split(u'\n');
        for (qsizetype index = lines.size() - 1; index >= 0; --index) {
            if (lines[index].startsWith(u"session_id="_s))
                return lines[index].mid(11);
        }
        return {};
    }
};

TEST_F(MeetingLogTest, EntryAndEachDecisionAreWrittenLineForLine) {
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"结论 => 预算下调一成"_s}));
    formatterAnswers.script.push_back(stageAnswer(u"预算讨论"_s, {u"人力 => 控制人力成本"_s}));
    makeViewModel();
    enterMeeting(u"今天讨论预算。"_s);

    const QString id = lastSessionID();
    static const textkit::Regex upperUuid(
        u"[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"_s);
    ASSERT_TRUE(upperUuid.matchesEntirely(id)) << u8(id);
    EXPECT_EQ(u8(meetingLog()),
              u8(u"[2026-03-07T09:01:10Z] [meeting.stream]\n"
                 u"session_id="_s +
                 id +
                 u"\n"
                 u"event=entered_meeting_mode\n"
                 u"detail=snapshot_chars=7\n"
                 u"live_transcript_chars=7\n"
                 u"[2026-03-07T09:01:10Z] [meeting.incremental]\n"
                 u"session_id="_s +
                 id +
                 u"\n"
                 u"range=00:00 - 01:10 | pending_seconds=70 | must_decide=true | "
                 u"result=append_new_stage\n"
                 u"current_stage_title=<none>\n"
                 u"current_stage_modules=<none>\n"
                 u"previous_stages=<none>\n"
                 u"recent_context=今天讨论预算。\n"
                 u"current_window=今天讨论预算。\n"
                 u"response=[阶段] 预算讨论 [文本模块] 结论 => 预算下调一成\n"_s));

    // The second decision names the stage it was shown.
    ASSERT_EQ(viewModel->meetingBlocks().size(), 1);
    const MeetingMinuteBlock stage = viewModel->meetingBlocks().at(0);
    QStringList modules;
    for (const MeetingTextModule &module : stage.textModules())
        modules << module.title;
    for (const MeetingVisualModule &module : stage.visualModules())
        modules << module.title;
    const qsizetype before = meetingLog().size();
    speak(u"今天讨论预算。\n人力成本也要控制。"_s);
    sleepPasses(30.0);
    EXPECT_EQ(u8(meetingLog().mid(before)),
              u8(u"[2026-03-07T09:01:40Z] [meeting.incremental]\n"
                 u"session_id="_s +
                 id +
                 u"\n"
                 u"range=01:10 - 01:40 | pending_seconds=30 | must_decide=false | "
                 u"result=merge_into_current_stage\n"
                 u"current_stage_title=预算讨论\n"
                 u"current_stage_modules="_s +
                 modules.join(u" || "_s) +
                 u"\n"
                 u"previous_stages=<none>\n"
                 u"recent_context=今天讨论预算。 人力成本也要控制。\n"
                 u"current_window=人力成本也要控制。\n"
                 u"response=[阶段] 预算讨论 [文本模块] 人力 => 控制人力成本\n"_s));
}

TEST_F(MeetingLogTest, StreamEventsAreWrittenWhileTheSettingIsOnOrTheRecordingIsAMeeting) {
    makeViewModel();
    startRecording();
    speak(u"你好世界"_s);
    time.advance(5.0);
    // A dropped socket is logged as what it is, not as a failed reconnect
    // to the gateway: none was tried yet.
    lastTranscriber().breakStream(errorOf(TextError(u"Socket is not connected\n请稍后"_s)));
    settle();
    ASSERT_EQ(transcribers.size(), 2u) << "rebuilt";
    const QString id = lastSessionID();
    EXPECT_EQ(u8(meetingLog()), u8(u"[2026-03-07T09:00:05Z] [meeting.stream]\n"
                                   u"session_id="_s +
                                   id +
                                   u"\n"
                                   u"event=interrupted\n"
                                   u"detail=Socket is not connected 请稍后\n"
                                   u"live_transcript_chars=4\n"
                                   u"[2026-03-07T09:00:05Z] [meeting.stream]\n"
                                   u"session_id="_s +
                                   id +
                                   u"\n"
                                   u"event=recovered\n"
                                   u"detail=Socket is not connected 请稍后\n"
                                   u"live_transcript_chars=4\n"_s));

    // A rebuild without a speech configuration.
    gateway->defaultSpeech.reset();
    lastTranscriber().breakStream(errorOf(TextError(u"又断了"_s)));
    settle();
    EXPECT_TRUE(meetingLog().endsWith(u"event=recovery_failed\n"
                                      u"detail=speech configuration unavailable\n"
                                      u"live_transcript_chars=4\n"_s))
        << u8(meetingLog());
    stopRecording();

    // With the setting off, an ordinary recording writes nothing.
    gateway->defaultSpeech = gatewaySpeech();
    store->setMeetingModeEnabled(false);
    const QString written = meetingLog();
    startRecording();
    lastTranscriber().breakStream(errorOf(TextError(u"连接断开"_s)));
    settle();
    ASSERT_EQ(transcribers.size(), 4u);
    EXPECT_EQ(meetingLog(), written);
}

} // namespace
} // namespace tovalit
