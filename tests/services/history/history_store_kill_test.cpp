// The history and transcript files against a process killed while saving,
// and a full disk.

#include "services/history/history_store.h"
#include "support/uuid_text.h"
#include "tests/support/killed_saves.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/saved_versions.h"
#include "tests/support/small_tmpfs.h"
#include "tests/support/test_session.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;
namespace versions = testing::savedversions;

// The version whose text a record or a transcript file holds, whole, and
// for the id that version belongs to.
std::optional<int> versionOf(const QUuid &id, const QString &text) {
    const auto version = versions::versionOf(text, QStringLiteral("dictation"));
    if (!version || versions::historyRecord(*version).id != id)
        return std::nullopt;
    return version;
}

TEST(HistoryStoreKill, AKilledAppendLeavesWholeFilesAndNoTemporary) {
    QTemporaryDir folder;
    const QString transcripts = folder.filePath(QStringLiteral("transcripts"));
    const int withTemporary = killSaversRepeatedly(
        QStringLiteral("history"), folder.path(), 200, 3000, [&](int) -> AfterKill {
            AfterKill after;
            after.sawTemporary = holdsTemporary(folder.path()) || holdsTemporary(transcripts);
            // The next start. (Awaited without runTask's polling slices: 200
            // rounds of it would add up.)
            HistoryStore store(folder.path());
            const QList<TranscriptRecord> records = QCoro::waitFor(store.loadRecords());
            EXPECT_FALSE(holdsTemporary(folder.path()));
            EXPECT_FALSE(holdsTemporary(transcripts));
            EXPECT_LE(records.size(), versions::historyIds);
            for (const TranscriptRecord &record : records) {
                const auto version = versionOf(record.id, record.transcript);
                EXPECT_TRUE(version.has_value()) << record.transcript.toStdString();
                after.version = std::max(after.version, version.value_or(-1));
            }
            for (const QString &name : entriesOf(transcripts)) {
                const QByteArray text = readFile(transcripts + u'/' + name);
                const auto id = uuidtext::parse(QStringView(name).chopped(4));
                EXPECT_TRUE(id.has_value()) << name.toStdString();
                EXPECT_TRUE(
                    id &&

                    versionOf(*id, QString::fromUtf8(text.sliced(text.indexOf("\n\n") + 2))))
                    << name.toStdString() << " holds " << text.toStdString();
            }
            return after;
        });
    EXPECT_GT(withTemporary, 0) << "no kill fell inside a save";
}

TEST(HistoryStoreKill, AFullDiskKeepsThePreviousFilesAndSaysSo) {
    SmallTmpfs disk;
    TOVALIT_REQUIRE_ENVIRONMENT(disk.isMounted(), disk.error().toStdString());
    HistoryStore store(disk.path());
    const TranscriptRecord first = versions::historyRecord(1);
    const QList<TranscriptRecord> saved = runTask(store.append(first));
    const QString historyPath = disk.path() + QStringLiteral("/history.json");
    const QString transcriptPath =
        disk.path() + QStringLiteral("/transcripts/") + uuidtext::upper(first.id) + ".txt";
    const QByteArray history = readFile(historyPath);
    const QByteArray transcript = readFile(transcriptPath);
    disk.fill();

    const auto expectFailure = [&](QCoro::Task<QList<TranscriptRecord>> task, const QString &path) {
        try {
            runTask(std::move(task));
            ADD_FAILURE() << "a save onto a full disk succeeded";
        } catch (const HistoryStoreError &error) {
            // What the dictation ends with: failed(description).
            EXPECT_EQ(error.localizedDescription(),
                      QStringLiteral("无法保存历史记录：") + path + QStringLiteral("（") +
                          QString::fromLocal8Bit(std::strerror(ENOSPC)) + QStringLiteral("）"));
        }
        EXPECT_EQ(readFile(historyPath), history);
        EXPECT_EQ(readFile(transcriptPath), transcript);
        EXPECT_FALSE(holdsTemporary(disk.path()));
        EXPECT_FALSE(holdsTemporary(disk.path() + QStringLiteral("/transcripts")));
    };
    // The new record's transcript comes first and fails; then a rewrite of
    // the same record, whose transcript is replaced in place.
    expectFailure(store.append(versions::historyRecord(10)),
                  disk.path() + QStringLiteral("/transcripts/") +
                      uuidtext::upper(versions::historyRecord(10).id) + ".txt");
    expectFailure(store.append(versions::historyRecord(9)), transcriptPath);
    // A record without text writes no transcript: the history file fails.
    TranscriptRecord blank = versions::historyRecord(11);
    blank.transcript.clear();
    expectFailure(store.append(blank), historyPath);
    EXPECT_EQ(runTask(store.loadRecords()), saved);
}

} // namespace
} // namespace tovalit
