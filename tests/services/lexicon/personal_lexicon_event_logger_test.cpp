#include "services/lexicon/personal_lexicon_event_logger.h"
#include "support/json_text.h"
#include "tests/services/lexicon/lexicon_test_entries.h"
#include "tests/support/file_contents.h"
#include "tests/support/run_task.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::readFile;
using testing::runTask;
using testing::WithTemporaryUserFolders;

const QDateTime at = QDateTime(QDate(2026, 3, 7), QTime(1, 5, 1), Qt::UTC);

PersonalLexiconAuditEvent event(const QString &action, qint64 entryCount = 0) {
    PersonalLexiconAuditEvent made;
    made.action = action;
    made.entryCount = entryCount;
    made.timestamp = at;
    return made;
}

QList<PersonalLexiconAuditEvent> linesOf(const QByteArray &bytes) {
    QList<PersonalLexiconAuditEvent> events;
    EXPECT_TRUE(bytes.isEmpty() || bytes.endsWith('\n'));
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const auto object = json::parseObject(line);
        EXPECT_TRUE(object.has_value()) << line.toStdString();
        if (object)
            events.append(PersonalLexiconAuditEvent::fromJson(*object));
    }
    return events;
}

class PersonalLexiconEventLoggerTest : public WithTemporaryUserFolders {
protected:
    QString auditPath() const { return folders.dataFolder() + "/personal-lexicon-events.jsonl"; }
};

TEST_F(PersonalLexiconEventLoggerTest, EachEventIsOneCompactLineInOrder) {
    PersonalLexiconEventLogger logger;
    runTask(logger.record(event("load_snapshot", 3)));
    EXPECT_EQ(readFile(auditPath()),
              R"({"action":"load_snapshot","entryCount":3,"timestamp":"2026-03-07T01:05:01Z"})"
              "\n");

    PersonalLexiconAuditEvent full = event("ai_analysis_completed", 12);
    full.entryID = QUuid::fromString(QStringLiteral("6b1f0d2e-52c1-4f4b-9d0a-3c6f2b9e1a77"));
    full.entryKind = "replacement";
    full.sourceText = "orin ai";
    full.enabled = false;
    full.observedSessionID = QUuid::createUuid();
    full.observedOriginalFieldText = "第一行\n第二行\r\n\"引号\"\t";
    full.observedFinalFieldText = "line\u2028separator";
    full.aiShouldLearn = true;
    full.aiCandidateCount = 2;
    full.aiCandidates = QList<PersonalLexiconAuditCandidate>{
        {"replacement", QString("orin ai"), "OrinAI", true, QString("写法统一"), 0.875},
        {"hotword", std::nullopt, "Kovarindel", false, std::nullopt, std::nullopt}};
    full.aiJSONCandidates = QStringList{"{\"a\":1}\n"};
    full.learnedReplacements = QStringList{"orin ai -> OrinAI"};
    full.skipReason = "no_effective_candidates";
    runTask(logger.record(full));
    runTask(logger.record(event("persist_applied")));

    const QByteArray bytes = readFile(auditPath());
    EXPECT_EQ(bytes.count('\n'), 3) << "line breaks inside texts are escaped";
    const auto events = linesOf(bytes);
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0], event("load_snapshot", 3));
    EXPECT_EQ(events[1], full);
    EXPECT_EQ(events[2], event("persist_applied"));
    EXPECT_TRUE(bytes.contains("\"entryID\":\"6B1F0D2E-52C1-4F4B-9D0A-3C6F2B9E1A77\""));
}

TEST_F(PersonalLexiconEventLoggerTest, ConcurrentEventsNeverShareALine) {
    PersonalLexiconEventLogger logger;
    std::vector<QCoro::Task<void>> pending;
    for (int i = 0; i < 200; ++i) {
        PersonalLexiconAuditEvent numbered = event("toggle_enabled", i);
        numbered.targetText = QString(500, u'词');
        pending.push_back(logger.record(numbered));
    }
    for (auto &task : pending)
        runTask(std::move(task));
    const auto events = linesOf(readFile(auditPath()));
    ASSERT_EQ(events.size(), 200);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(events[i].entryCount, i);
}

TEST_F(PersonalLexiconEventLoggerTest, FailuresAreSilentAndFoldersAreCreatedOrMovedIntoPlace) {
    // A base folder below a plain file can never be created: the event is
    // dropped and the caller carries on.
    QTemporaryDir root;
    QFile blocker(root.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    PersonalLexiconEventLogger blocked(root.path() + "/file/sub");
    runTask(blocked.record(event("persist_failed")));
    PersonalLexiconEventLogger intoFolder(root.path() + "/file");
    runTask(intoFolder.record(event("persist_failed")));

    const QString base = root.path() + "/a/b";
    PersonalLexiconEventLogger withBase(base);
    runTask(withBase.record(event("load_snapshot")));
    EXPECT_EQ(linesOf(readFile(base + "/personal-lexicon-events.jsonl")).size(), 1);

    // A former data folder is moved into place, not shadowed by an empty
    // new one, whichever of the lexicon's writers comes first.
    const QString quendor = folders.dataHome() + "/Quendor";
    QDir().mkpath(quendor);
    QFile lexicon(quendor + "/personal-lexicon.json");
    ASSERT_TRUE(lexicon.open(QIODevice::WriteOnly));
    lexicon.write("{}");
    lexicon.close();
    PersonalLexiconEventLogger logger;
    runTask(logger.record(event("load_failed")));
    EXPECT_FALSE(QFileInfo::exists(quendor));
    EXPECT_EQ(readFile(folders.dataFolder() + "/personal-lexicon.json"), "{}");
    EXPECT_EQ(linesOf(readFile(auditPath())).size(), 1);
}

} // namespace
} // namespace tovalit
