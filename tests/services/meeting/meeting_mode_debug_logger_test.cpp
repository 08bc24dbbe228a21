#include "services/meeting/meeting_mode_debug_logger.h"
#include "support/data_folder.h"
#include "tests/services/meeting/meeting_test_support.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace meetingtest;

const QDateTime stamp = QDateTime(QDate(2025, 3, 1), QTime(8, 15, 30, 640), Qt::UTC);
const QUuid session = QUuid::fromString(u"{6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b}"_s);

QString repeated(const QString &piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

MeetingModeDebugLogger::DecisionRecord decision() {
    MeetingModeDebugLogger::DecisionRecord record;
    record.timestamp = stamp;
    record.sessionID = session;
    record.rangeLabel = u"00:00 - 01:12"_s;
    record.pendingSeconds = 72;
    record.mustDecide = true;
    record.result = u"append_new_stage"_s;
    record.currentStageTitle = u"预算讨论"_s;
    record.currentStageModules = {u"核心判断"_s, u"关键指标"_s};
    record.previousStages = {u"[阶段] 开场\n[已有文本模块] 议程"_s, u"[阶段] 回顾"_s};
    record.recentContext = u"第一句。\n第二句"_s;
    record.currentWindow = u"  今天讨论预算  "_s;
    record.response = u"[阶段] 预算讨论\n[文本模块] 结论 => 下调"_s;
    return record;
}

TEST(MeetingDebugRecords, StreamRecordLinesAndDetailClipping) {
    MeetingModeDebugLogger::StreamRecord record{stamp, session, u"interrupted"_s,
                                                u"连接断开\n请重试"_s, 12};
    EXPECT_EQ(u8(MeetingModeDebugLogger::streamRecordText(record)),
              "[2025-03-01T08:15:30Z] [meeting.stream]\n"
              "session_id=6F1C2A9E-3B4D-4E5F-8A7B-9C0D1E2F3A4B\n"
              "event=interrupted\n"
              "detail=连接断开 请重试\n"
              "live_transcript_chars=12\n");

    // 400 characters keep their first 320, then "..."; 320 stay whole.
    record.detail = repeated(u"字"_s, 400);
    QString text = MeetingModeDebugLogger::streamRecordText(record);
    EXPECT_TRUE(text.contains(u"\ndetail="_s + repeated(u"字"_s, 320) + u"...\n"_s));
    record.detail = repeated(u"👍🏽"_s, 320);
    text = MeetingModeDebugLogger::streamRecordText(record);
    EXPECT_TRUE(text.contains(u"\ndetail="_s + record.detail + u"\nlive"_s))
        << "emoji with modifiers count as one character each";

    record.detail = u"\n\n\n"_s;
    EXPECT_TRUE(MeetingModeDebugLogger::streamRecordText(record).contains(u"\ndetail=<empty>\n"_s));
}

TEST(MeetingDebugRecords, DecisionRecordLinesAreExact) {
    EXPECT_EQ(u8(MeetingModeDebugLogger::decisionRecordText(decision())),
              "[2025-03-01T08:15:30Z] [meeting.incremental]\n"
              "session_id=6F1C2A9E-3B4D-4E5F-8A7B-9C0D1E2F3A4B\n"
              "range=00:00 - 01:12 | pending_seconds=72 | must_decide=true | "
              "result=append_new_stage\n"
              "current_stage_title=预算讨论\n"
              "current_stage_modules=核心判断 || 关键指标\n"
              "previous_stages=[阶段] 开场\n[已有文本模块] 议程 ||| [阶段] 回顾\n"
              "recent_context=第一句。 第二句\n"
              "current_window=今天讨论预算\n"
              "response=[阶段] 预算讨论 [文本模块] 结论 => 下调\n");

    // Without blocks: "<none>" on the stage lines; 420 characters stay
    // whole, 421 are cut; the context is cut at 220.
    MeetingModeDebugLogger::DecisionRecord empty = decision();
    empty.mustDecide = false;
    empty.result = u"ignored"_s;
    empty.currentStageTitle.clear();
    empty.currentStageModules.clear();
    empty.previousStages.clear();
    empty.recentContext = repeated(u"a"_s, 221);
    empty.currentWindow = repeated(u"窗"_s, 421);
    empty.response = repeated(u"答"_s, 420);
    const QStringList lines = MeetingModeDebugLogger::decisionRecordText(empty).split(u'\n');
    ASSERT_EQ(lines.size(), 10) << "nine lines and the final line feed";
    EXPECT_TRUE(lines[2].endsWith(u" | must_decide=false | result=ignored"_s));
    EXPECT_EQ(lines[3], u"current_stage_title=<none>"_s);
    EXPECT_EQ(lines[4], u"current_stage_modules=<none>"_s);
    EXPECT_EQ(lines[5], u"previous_stages=<none>"_s);
    EXPECT_EQ(lines[6], u"recent_context="_s + repeated(u"a"_s, 220) + u"..."_s);
    EXPECT_EQ(lines[7], u"current_window="_s + repeated(u"窗"_s, 420) + u"..."_s);
    EXPECT_EQ(lines[8], u"response="_s + repeated(u"答"_s, 420));
    EXPECT_EQ(lines[9], QString());
}

class MeetingDebugLogFile : public testing::WithTemporaryUserFolders {
protected:
    QString logPath() const {
        return folders.dataFolder() + u"/Diagnostics/meeting-mode-debug.log"_s;
    }
    QByteArray logBytes() const {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    MeetingModeDebugLogger logger;
};

TEST_F(MeetingDebugLogFile, TheFirstRecordCreatesTheFileAndLaterOnesFollowDirectly) {
    EXPECT_FALSE(QFile::exists(folders.dataFolder())) << "nothing before the first record";
    logger.append(u"first\nrecord\n"_s);
    logger.append(u"second"_s);
    logger.flush();
    EXPECT_EQ(logBytes().toStdString(), "first\nrecord\nsecond\n")
        << "no blank line between records; a missing final line feed is added";

    // Records of many writers land whole and in the order they were handed
    // over.
    QByteArray expected = logBytes();
    for (int i = 0; i < 200; ++i) {
        const QString record = u"[meeting.stream] #"_s + QString::number(i) + u"\n预算\n"_s;
        MeetingModeDebugLogger::shared().append(record);
        expected += record.toUtf8();
    }
    MeetingModeDebugLogger::shared().flush();
    EXPECT_EQ(logBytes(), expected);
    EXPECT_EQ(MeetingModeDebugLogger::logFileURL(), logPath());
}

TEST_F(MeetingDebugLogFile, ARecordThatCannotBeWrittenIsDropped) {
    // A file where the Diagnostics folder should be.
    ASSERT_TRUE(QDir().mkpath(folders.dataFolder()));
    QFile blocker(folders.dataFolder() + u"/Diagnostics"_s);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    logger.append(u"lost\n"_s);
    logger.flush();
    EXPECT_THROW(MeetingModeDebugLogger::logFileURL(), DataFolderError);

    // Once the way is clear the next record is written, alone.
    ASSERT_TRUE(QFile::remove(blocker.fileName()));
    logger.append(u"kept\n"_s);
    logger.flush();
    EXPECT_EQ(logBytes().toStdString(), "kept\n");
}

} // namespace
} // namespace tovalit
