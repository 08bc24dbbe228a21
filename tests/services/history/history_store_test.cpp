#include "services/history/history_file_codec.h"
#include "services/history/history_store.h"
#include "services/history/transcript_file_format.h"
#include "support/json_text.h"
#include "support/uuid_text.h"
#include "tests/support/file_contents.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/scoped_time_zone.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <limits>

namespace tovalit {
namespace {

using testing::readFile;
using testing::runTask;
using testing::writeFile;

const QUuid recordID(QStringLiteral("6f1c2a7e-0b3d-4c5e-9f10-a1b2c3d4e5f6"));
const QString recordText = QStringLiteral("6F1C2A7E-0B3D-4C5E-9F10-A1B2C3D4E5F6");

TranscriptRecord record(const QUuid &id, const QDateTime &createdAt, const QString &transcript) {
    TranscriptRecord value;
    value.id = id;
    value.createdAt = createdAt;
    value.duration = 3;
    value.transcript = transcript;
    return value;
}

QDateTime utc(int year, int month, int day, int hour, int minute, int second) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

class HistoryStoreTest : public testing::WithTemporaryUserFolders {
protected:
    QString data(const QString &relative = {}) const {
        return relative.isEmpty() ? folders.dataFolder() : folders.dataFolder() + u'/' + relative;
    }

    testing::ScopedTimeZone zone{"Asia/Shanghai"};
    QDateTime now = utc(2026, 12, 7, 8, 0, 0);
    HistoryStore store{std::nullopt, [this] { return now; }};
};

TEST_F(HistoryStoreTest, AppendWritesTheExactFilesAndTheRecordComesBackFromItsTranscript) {
    TranscriptRecord dictation;
    dictation.id = recordID;
    dictation.createdAt = utc(2026, 3, 7, 1, 5, 1);
    dictation.duration = 75.4;
    dictation.transcript = QStringLiteral(" 你好世界 ");
    dictation.rawTranscript = QStringLiteral("你好 世界");
    dictation.status = TranscriptRecordStatus::warning;
    dictation.note = QStringLiteral("  不支持回读确认 ");

    const QList<TranscriptRecord> history = runTask(store.append(dictation));
    ASSERT_EQ(history.size(), 1);
    EXPECT_EQ(history[0].transcriptFileName, recordText + QStringLiteral(".txt"));
    EXPECT_EQ(history[0].transcript, QStringLiteral(" 你好世界 "))
        << "the record keeps its untrimmed text";

    EXPECT_EQ(QString::fromUtf8(readFile(
                  data(QStringLiteral("transcripts/") + recordText + QStringLiteral(".txt")))),
              QStringLiteral(
                  "时间：03-07 "
                  "09:05:01\n时长：01:"
                  "15\n状态：需留意\n备注：不支持回读确认\n\n你好世界\n\n原始转写：\n你好 世界"));
    EXPECT_EQ(QString::fromUtf8(readFile(data(QStringLiteral("history.json")))),
              QStringLiteral("[\n"
                             "    {\n"
                             "        \"createdAt\": \"2026-03-07T01:05:01Z\",\n"
                             "        \"duration\": 75.4,\n"
                             "        \"id\": \"") +
                  recordText +
                  QStringLiteral("\",\n"
                                 "        \"note\": \"  不支持回读确认 \",\n"
                                 "        \"rawTranscript\": \"你好 世界\",\n"
                                 "        \"status\": \"warning\",\n"
                                 "        \"transcript\": \" 你好世界 \",\n"
                                 "        \"transcriptFileName\": \"") +
                  recordText +
                  QStringLiteral(".txt\"\n"
                                 "    }\n"
                                 "]\n"));
    EXPECT_TRUE(QFileInfo(data(QStringLiteral("recordings"))).isDir());

    ASSERT_TRUE(QFile::remove(data(QStringLiteral("history.json"))));
    const QList<TranscriptRecord> rebuilt = runTask(store.loadRecords());
    ASSERT_EQ(rebuilt.size(), 1);
    const TranscriptRecord &back = rebuilt[0];
    EXPECT_EQ(back.id, recordID);
    EXPECT_EQ(back.createdAt, dictation.createdAt);
    EXPECT_EQ(back.duration, 75) << "the file keeps whole seconds";
    EXPECT_EQ(back.transcript, QStringLiteral("你好世界"));
    EXPECT_EQ(back.rawTranscript, QStringLiteral("你好 世界"));
    EXPECT_EQ(back.status, TranscriptRecordStatus::warning);
    EXPECT_EQ(back.note, QStringLiteral("不支持回读确认"));
    EXPECT_EQ(back.transcriptFileName, recordText + QStringLiteral(".txt"));
    EXPECT_FALSE(back.audioFileName);
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("history.json"))))
        << "the rebuilt history is written back";
    EXPECT_EQ(runTask(store.loadRecords()), rebuilt);
}

TEST_F(HistoryStoreTest, AFormerDataFolderIsMovedBeforeTheFirstOperation) {
    writeFile(folders.dataHome() + QStringLiteral("/Quendor/history.json"),
              json::pretty(QJsonArray{record(recordID, now, QStringLiteral("旧")).toJson()}));
    writeFile(folders.dataHome() + QStringLiteral("/VellupTranscriber/history.json"), "[]");
    const auto history = runTask(store.loadRecords());
    ASSERT_EQ(history.size(), 1);
    EXPECT_EQ(history[0].transcript, QStringLiteral("旧"));
    EXPECT_FALSE(QDir(folders.dataHome() + QStringLiteral("/Quendor")).exists());
    EXPECT_TRUE(QDir(folders.dataHome() + QStringLiteral("/VellupTranscriber")).exists())
        << "only the first is moved";

    const QString base = folders.dataHome() + QStringLiteral("/elsewhere");
    HistoryStore based(base);
    writeFile(folders.dataHome() + QStringLiteral("/Quendor/history.json"), "[]");
    QDir(data()).removeRecursively();
    EXPECT_TRUE(runTask(based.loadRecords()).isEmpty());
    EXPECT_TRUE(QDir(folders.dataHome() + QStringLiteral("/Quendor")).exists())
        << "a base folder never migrates";
    EXPECT_FALSE(QDir(data()).exists());
}

TEST_F(HistoryStoreTest, AnEmptyHistoryWritesNothingAndTranscriptFilesRebuildIt) {
    EXPECT_TRUE(runTask(store.loadRecords()).isEmpty());
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("history.json"))));

    writeFile(data(QStringLiteral("transcripts/notes.txt")),
              "时间：03-07 09:05:01\n\nnot a record");
    writeFile(data(QStringLiteral("transcripts/.hidden.txt")), "x");
    const QString lowerName = uuidtext::lower(recordID) + QStringLiteral(".TXT");
    writeFile(data(QStringLiteral("transcripts/")) + lowerName,
              "时间：12-01 10:00:00\n时长：01:02:05\n状态：失败\n\n文本");
    writeFile(data(QStringLiteral("recordings/")) + recordText + QStringLiteral(".m4a"), "audio");
    const QUuid other = QUuid::createUuid();
    writeFile(data(QStringLiteral("transcripts/")) + uuidtext::upper(other) +
                  QStringLiteral(".txt"),
              "时间：12-01 09:00:00\n\n另一条");
    writeFile(data(QStringLiteral("recordings/")) + QStringLiteral("SOMETHING-ELSE.m4a"), "audio");

    const auto history = runTask(store.loadRecords());
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].id, recordID);
    EXPECT_EQ(history[0].transcriptFileName, lowerName);
    EXPECT_EQ(history[0].duration, 3725);
    EXPECT_EQ(history[0].status, TranscriptRecordStatus::failed);
    EXPECT_EQ(history[0].audioFileName, recordText + QStringLiteral(".m4a"));
    EXPECT_EQ(history[0].createdAt, utc(2026, 12, 1, 2, 0, 0));
    EXPECT_EQ(history[1].id, other);
    EXPECT_FALSE(history[1].audioFileName) << "a recording under another name is not re-attached";
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("history.json"))));
}

TEST_F(HistoryStoreTest, DuplicatesCollapseAndEqualTimesOrderByIdText) {
    const QUuid low(QStringLiteral("00000000-0000-4000-8000-00000000000a"));
    const QUuid high(QStringLiteral("a0000000-0000-4000-8000-000000000000"));
    TranscriptRecord first = record(low, now, QStringLiteral("第一"));
    TranscriptRecord second = record(low, now.addSecs(-5), QStringLiteral("第二"));
    second.note = QStringLiteral("补上的备注");
    second.duration = 9;
    first.duration = 0;
    const TranscriptRecord tie = record(high, now, QStringLiteral("同时"));
    writeFile(data(QStringLiteral("history.json")),
              json::pretty(QJsonArray{first.toJson(), second.toJson(), tie.toJson()}));

    const auto history = runTask(store.loadRecords());
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].id, high) << "equal times: the greater id text first";
    EXPECT_EQ(history[1].transcript, QStringLiteral("第一"));
    EXPECT_EQ(history[1].createdAt, now) << "the first record met keeps its date";
    EXPECT_EQ(history[1].note, QStringLiteral("补上的备注"));
    EXPECT_EQ(history[1].duration, 9);
    EXPECT_EQ(json::parseArray(readFile(data(QStringLiteral("history.json"))))->size(), 2)
        << "the file is rewritten";
}

TEST_F(HistoryStoreTest, ARecordListThatCannotBeWrittenBackIsStillLoaded) {
    // A valid history.json whose order needs putting right, on a disk
    // that takes no write: history.json turns into a folder just after it
    // was read, as the load rebuilds from the transcript files.
    const TranscriptRecord older =
        record(QUuid::createUuid(), now.addSecs(-60), QStringLiteral("甲"));
    const TranscriptRecord newer = record(QUuid::createUuid(), now, QStringLiteral("乙"));
    runTask(store.append(older));
    runTask(store.append(newer));
    const QString historyFile = data(QStringLiteral("history.json"));
    const QList<TranscriptRecord> stored = runTask(store.loadRecords());
    writeFile(historyFile, json::pretty(QJsonArray{stored[1].toJson(), stored[0].toJson()}));
    bool blocked = false;
    HistoryStore fullDisk(std::nullopt, [&] {
        if (!std::exchange(blocked, true)) {
            QFile::remove(historyFile);
            QDir().mkpath(historyFile);
        }
        return now;
    });

    const QList<TranscriptRecord> loaded = runTask(fullDisk.loadRecords());
    EXPECT_TRUE(blocked);
    EXPECT_EQ(loaded, stored);
    EXPECT_TRUE(QFileInfo(historyFile).isDir()) << "nothing was written in its place";
}

TEST_F(HistoryStoreTest, AppendMergesWithStoredRecordsAndSkipsBlankTexts) {
    TranscriptRecord stored = record(recordID, now, QStringLiteral("原文"));
    stored.note = QStringLiteral("旧备注");
    stored.duration = 12;
    runTask(store.saveRecords({stored}));

    TranscriptRecord retry = record(recordID, now, QStringLiteral("  \n"));
    retry.duration = 0;
    auto history = runTask(store.append(retry));
    ASSERT_EQ(history.size(), 1);
    EXPECT_EQ(history[0].note, QStringLiteral("旧备注"));
    EXPECT_EQ(history[0].duration, 12);
    EXPECT_EQ(history[0].transcript, QStringLiteral("原文"));

    const QUuid blankID = QUuid::createUuid();
    history = runTask(store.append(record(blankID, now.addSecs(1), QString())));
    ASSERT_EQ(history.size(), 2);
    EXPECT_FALSE(history[0].transcriptFileName);
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("transcripts/")) + uuidtext::upper(blankID) +
                               QStringLiteral(".txt")));

    TranscriptRecord same = record(QUuid::createUuid(), now, QStringLiteral("  同样  "));
    same.rawTranscript = QStringLiteral("同样");
    same.note = QStringLiteral(" ");
    runTask(store.append(same));
    const QByteArray file = readFile(data(QStringLiteral("transcripts/")) +
                                     uuidtext::upper(same.id) + QStringLiteral(".txt"));
    EXPECT_EQ(QString::fromUtf8(file),
              QStringLiteral("时间：12-07 16:00:00\n时长：00:03\n状态：完成\n\n同样"));
}

TEST_F(HistoryStoreTest, ConcurrentAppendsAreSerialisedAndNoneIsLost) {
    std::vector<QCoro::Task<QList<TranscriptRecord>>> tasks;
    for (int i = 0; i < 20; ++i)
        tasks.push_back(
            store.append(record(QUuid::createUuid(), now.addSecs(i), QString::number(i))));
    for (auto &task : tasks)
        runTask(std::move(task));
    const auto history = runTask(store.loadRecords());
    ASSERT_EQ(history.size(), 20);
    EXPECT_EQ(history.front().transcript, QStringLiteral("19"));
}

TEST_F(HistoryStoreTest, RebuildingReadsHeadersAsWritten) {
    const auto rebuild = [&](const QByteArray &contents) {
        QDir(data()).removeRecursively();
        writeFile(data(QStringLiteral("transcripts/")) + recordText + QStringLiteral(".txt"),
                  contents);
        const auto history = runTask(store.loadRecords());
        return history.isEmpty() ? TranscriptRecord() : history[0];
    };
    EXPECT_EQ(rebuild("你好\n第二行\n\n正文").transcript, QStringLiteral("正文"))
        << "no header: up to the first empty line is skipped";
    const auto raw = rebuild("时间：03-07 09:05:01\n\n正文\n  原始转写：  \n原始\n文本");
    EXPECT_EQ(raw.transcript, QStringLiteral("正文"));
    EXPECT_EQ(raw.rawTranscript, QStringLiteral("原始\n文本"));

    const auto crlf =
        rebuild("时间：03-07 09:05:01\r\n时长：01:15\r\n状态：需留意\r\n\r\n第一行\r\n第二行");
    EXPECT_EQ(crlf.duration, 75) << "CR LF is one line break";
    EXPECT_EQ(crlf.status, TranscriptRecordStatus::warning);
    EXPECT_EQ(crlf.transcript, QStringLiteral("第一行\n第二行"));

    EXPECT_EQ(rebuild("时间：12-31 23:59:59\n\nx").createdAt, utc(2025, 12, 31, 15, 59, 59))
        << "a date more than a day ahead belongs to the previous year";
    EXPECT_EQ(rebuild("时间：12-08 15:00:00\n\nx").createdAt, utc(2026, 12, 8, 7, 0, 0))
        << "within a day stays";
    EXPECT_EQ(rebuild("时间：garbage\n时长：bad\n状态：其它\n备注：  \n\nx").note, std::nullopt);

    EXPECT_EQ(rebuild(QByteArray("\xff\xfe", 2)).id, QUuid()) << "not UTF-8: skipped";
}

TEST(TranscriptFileFormat, DurationsReadBack) {
    const std::pair<const char *, std::optional<double>> cases[] = {
        {"01:15", 75},
        {"01:02:05", 3725},
        {"75", std::nullopt},
        {"01:xx:30", 90},
        {" 1:5 ", 65},
        {"::1::2", 62},
        {"1:2:3:4", std::nullopt},
        {"+1:-5", 55},
        {"99999999999999999999:1", std::nullopt},
        {"153722867280912931:0", std::nullopt},
        {"2562047788015215:30:08", std::nullopt},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(TranscriptFileFormat::parsedDuration(QString::fromUtf8(text)), expected) << text;
}

TEST_F(HistoryStoreTest, DeletingKeepsFilesOthersStillUse) {
    TranscriptRecord a = record(QUuid::createUuid(), now, QStringLiteral("甲"));
    a.audioFileName = QStringLiteral("shared.m4a");
    TranscriptRecord b = record(QUuid::createUuid(), now.addSecs(-1), QStringLiteral("乙"));
    b.audioFileName = QStringLiteral("shared.m4a");
    TranscriptRecord c = record(QUuid::createUuid(), now.addSecs(-2), QStringLiteral("丙"));
    c.audioFileName = QStringLiteral("own.m4a");
    runTask(store.append(a));
    runTask(store.append(b));
    runTask(store.append(c));
    writeFile(data(QStringLiteral("recordings/shared.m4a")), "x");
    writeFile(data(QStringLiteral("recordings/own.m4a")), "x");

    auto remaining = runTask(store.deleteRecord(a.id));
    EXPECT_EQ(remaining.size(), 2);
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("recordings/shared.m4a"))));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("transcripts/")) + uuidtext::upper(a.id) +
                               QStringLiteral(".txt")));
    remaining = runTask(store.deleteRecord(c.id));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("recordings/own.m4a"))));
    EXPECT_EQ(runTask(store.deleteRecord(QUuid::createUuid())), remaining);
}

TEST_F(HistoryStoreTest, StoredFileNamesNeverReachOutsideTheirFolder) {
    writeFile(folders.dataHome() + QStringLiteral("/outside.m4a"), "precious");
    writeFile(data(QStringLiteral("precious.txt")), "precious");
    TranscriptRecord hostile = record(recordID, now, QStringLiteral("文本"));
    hostile.audioFileName = QStringLiteral("../../outside.m4a");
    hostile.transcriptFileName = QStringLiteral("../precious.txt");
    writeFile(data(QStringLiteral("history.json")), json::pretty(QJsonArray{hostile.toJson()}));

    const auto loaded = runTask(store.loadRecords());
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0].transcriptFileName, QStringLiteral("../precious.txt"))
        << "the stored value is kept as it is";
    EXPECT_EQ(runTask(store.audioFileURL(QStringLiteral("../../outside.m4a"))), std::nullopt);
    EXPECT_EQ(runTask(store.transcriptFileURL(QStringLiteral(".."))), std::nullopt);
    EXPECT_EQ(runTask(store.audioFileURL(QStringLiteral("A.m4a"))),
              data(QStringLiteral("recordings/A.m4a")));

    runTask(store.append(hostile));
    EXPECT_EQ(readFile(data(QStringLiteral("precious.txt"))), QByteArray("precious"))
        << "never written through";
    EXPECT_TRUE(
        QFile::exists(data(QStringLiteral("transcripts/")) + recordText + QStringLiteral(".txt")));

    runTask(store.deleteRecord(recordID));
    EXPECT_EQ(readFile(folders.dataHome() + QStringLiteral("/outside.m4a")),
              QByteArray("precious"));
    EXPECT_EQ(readFile(data(QStringLiteral("precious.txt"))), QByteArray("precious"));
}

TEST_F(HistoryStoreTest, ADamagedHistoryIsSetAsideAndRebuiltAndOneThatCannotBeReadIsLeftAlone) {
    const TranscriptRecord first =
        record(QUuid::createUuid(), now.addSecs(-60), QStringLiteral("甲"));
    runTask(store.append(first));
    const QString historyFile = data(QStringLiteral("history.json"));
    const auto truncate = [&] {
        const QByteArray whole = readFile(historyFile);
        writeFile(historyFile, whole.left(whole.size() / 2));
        return whole.left(whole.size() / 2);
    };
    const auto setAside = [&] {
        return QDir(data()).entryList({QStringLiteral("history.json.unreadable-*")}, QDir::Files,
                                      QDir::Name);
    };
    // A name taken already, by an older damaged copy.
    const QString taken = QStringLiteral("history.json.unreadable-20261207T080000Z");
    writeFile(data(taken), "older");

    // A load: the damaged file is kept under a name of its own, the
    // transcript files rebuild the history, and the rebuilt one is saved.
    const QByteArray damaged = truncate();
    const auto loaded = runTask(store.loadRecords());
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0].id, first.id);
    EXPECT_EQ(readFile(historyFile), HistoryFileCodec::encode(loaded));
    ASSERT_EQ(setAside(), (QStringList{taken, taken + QStringLiteral("-2")}));
    EXPECT_EQ(readFile(data(taken)), QByteArray("older"));
    EXPECT_EQ(readFile(data(taken + QStringLiteral("-2"))), damaged);
    const std::optional<QString> notice = store.takeSetAsideNotice();
    ASSERT_TRUE(notice.has_value());
    EXPECT_TRUE(notice->endsWith(u'：' + taken + QStringLiteral("-2"))) << notice->toStdString();
    EXPECT_EQ(store.takeSetAsideNotice(), std::nullopt) << "told once";

    // An append that finds the damage records its record as any other.
    truncate();
    const TranscriptRecord fresh = record(QUuid::createUuid(), now, QStringLiteral("新的"));
    const auto appended = runTask(store.append(fresh));
    ASSERT_EQ(appended.size(), 2);
    EXPECT_EQ(runTask(store.loadRecords()), appended);
    EXPECT_EQ(setAside().size(), 3);
    EXPECT_TRUE(store.takeSetAsideNotice().has_value());

    // A file that cannot be read fails the load, and stays where it is.
    QFile::remove(historyFile);
    ASSERT_TRUE(QDir().mkpath(historyFile));
    try {
        runTask(store.loadRecords());
        FAIL() << "a history that cannot be read must not load as empty";
    } catch (const HistoryStoreError &error) {
        EXPECT_EQ(error.kind(), HistoryStoreError::Kind::readFailed);
    }
    EXPECT_THROW(runTask(store.append(fresh)), HistoryStoreError);
    EXPECT_TRUE(QFileInfo(historyFile).isDir());
    EXPECT_EQ(setAside().size(), 3);
    EXPECT_EQ(store.takeSetAsideNotice(), std::nullopt);

    // Nor does one that cannot even be looked at, behind a folder that
    // refuses to be searched (a loop of links here): it is no missing file
    // for the transcripts to stand in for, nor one a clearing may replace.
    ASSERT_TRUE(QDir(historyFile).removeRecursively());
    const QString loop = data(QStringLiteral("loop"));
    ASSERT_TRUE(QFile::link(loop, loop));
    ASSERT_TRUE(QFile::link(loop + QStringLiteral("/history.json"), historyFile));
    EXPECT_THROW(runTask(store.loadRecords()), HistoryStoreError);
    EXPECT_THROW(runTask(store.clearAllRecords()), HistoryStoreError);
    EXPECT_TRUE(QFileInfo(historyFile).isSymLink());
}

TEST_F(HistoryStoreTest, ADamagedHistoryKeptElsewhereThroughALinkIsRebuiltWhereItIsKept) {
    const TranscriptRecord first =
        record(QUuid::createUuid(), now.addSecs(-60), QStringLiteral("甲"));
    runTask(store.append(first));
    const QString historyFile = data(QStringLiteral("history.json"));
    const QString synced = folders.dataHome() + QStringLiteral("/synced");
    const QString target = synced + QStringLiteral("/history.json");
    const QByteArray whole = readFile(historyFile);
    const QByteArray damaged = whole.left(whole.size() / 2);
    writeFile(target, damaged);
    ASSERT_TRUE(QFile::remove(historyFile));
    ASSERT_TRUE(QFile::link(target, historyFile));

    const auto loaded = runTask(store.loadRecords());
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_TRUE(QFileInfo(historyFile).isSymLink());
    EXPECT_EQ(readFile(target), HistoryFileCodec::encode(loaded));
    const QString aside = QStringLiteral("history.json.unreadable-20261207T080000Z");
    EXPECT_EQ(testing::entriesOf(synced), (QStringList{QStringLiteral("history.json"), aside}));
    EXPECT_EQ(readFile(synced + u'/' + aside), damaged);
    const std::optional<QString> notice = store.takeSetAsideNotice();
    ASSERT_TRUE(notice.has_value());
    EXPECT_TRUE(notice->endsWith(synced + u'/' + aside)) << notice->toStdString();

    // Clearing sets a damaged file aside the same way.
    now = now.addSecs(1);
    writeFile(target, "[");
    runTask(store.clearAllRecords());
    EXPECT_TRUE(QFileInfo(historyFile).isSymLink());
    EXPECT_EQ(readFile(target), HistoryFileCodec::encode({}));
    EXPECT_EQ(testing::entriesOf(synced).size(), 3);
    EXPECT_TRUE(QDir(data()).entryList({QStringLiteral("history.json.*")}).isEmpty());
}

TEST_F(HistoryStoreTest, TheHistoryFileIsWhatTheGeneralJsonWriterWritesAndReadsBackWhole) {
    QList<TranscriptRecord> records;
    const QString awkward =
        QStringLiteral("引号\" 反斜杠\\ 括号{}[] 控制\u0001\t换行\n👍🏽 é");
    const double durations[] = {0, 75.4, 1e-7, 3, -2.5, 1e20, 123456789.125};
    for (int i = 0; i < 1100; ++i) {
        TranscriptRecord value =
            record(QUuid::createUuid(), now.addSecs(-i * 37), awkward + QString::number(i));
        value.duration = durations[i % 7];
        if (i % 2)
            value.rawTranscript = QStringLiteral("原始 ") + awkward;
        if (i % 3)
            value.note = QStringLiteral("备注");
        if (i % 5)
            value.audioFileName = QStringLiteral("A.m4a");
        value.status = static_cast<TranscriptRecordStatus>(i % 3);
        records.append(value);
    }
    runTask(store.saveRecords(records));

    QJsonArray expected;
    for (const TranscriptRecord &value : HistoryStore::mergeRecordGroups({records}))
        expected.append(value.toJson());
    EXPECT_EQ(readFile(data(QStringLiteral("history.json"))), json::pretty(expected));

    // Written any other way (compact, other spacing) it reads the same.
    writeFile(data(QStringLiteral("history.json")), " \r\n" + json::compact(expected) + "\n\t");
    const auto loaded = runTask(store.loadRecords());
    ASSERT_EQ(loaded.size(), records.size());
    EXPECT_EQ(loaded, HistoryStore::mergeRecordGroups({records}));

    TranscriptRecord broken = record(QUuid::createUuid(), now, QStringLiteral("x"));
    broken.duration = std::numeric_limits<double>::quiet_NaN();
    runTask(store.saveRecords({broken}));
    const auto reloaded = runTask(store.loadRecords());
    ASSERT_EQ(reloaded.size(), 1)
        << "a duration that is not a number must not make the history unreadable";
    EXPECT_EQ(reloaded[0].duration, 0);
}

TEST(HistoryFileCodec, UnpairedSurrogatesInStoredTextsReadAsReplacementCharacters) {
    // Older versions and hand edits can leave "\udc00" in history.json;
    // such a record must read back from the file the store writes for it.
    const QByteArray element = R"({"id":"6F1C2A7E-0B3D-4C5E-9F10-A1B2C3D4E5F6",)"
                               R"("createdAt":"2026-03-01T08:30:00Z","duration":0,)"
                               R"("transcript":"\udc00 ok","note":"a\ud800"})";
    // Both readers: the general parser, and the per-record one for the
    // layout the store writes.
    for (const QByteArray &text :
         {QByteArray("[" + element + "]"), QByteArray("[\n    " + element + "\n]\n")}) {
        const HistoryFileCodec::Decoded decoded = HistoryFileCodec::decode(text);
        ASSERT_TRUE(decoded.problem.isEmpty()) << decoded.problem.toStdString();
        ASSERT_EQ(decoded.records.size(), 1);
        EXPECT_EQ(decoded.records[0].transcript, QStringLiteral("\uFFFD ok"));
        EXPECT_EQ(decoded.records[0].note, QStringLiteral("a\uFFFD"));
        EXPECT_EQ(HistoryFileCodec::decode(HistoryFileCodec::encode(decoded.records)).records,
                  decoded.records);
    }
}

TEST(HistoryFileCodec, EveryMalformedShapeIsReportedWithItsPlace) {
    const QUuid id = QUuid::createUuid();
    const QByteArray valid =
        json::compact(record(id, utc(2026, 3, 1, 8, 0, 0), QStringLiteral("好")).toJson());
    const std::pair<QByteArray, const char *> cases[] = {
        {"{}", "不是 JSON 数组"},
        {"[" + valid + ",]", "不是 JSON 数组"},
        {"[" + valid + "] x", "不是 JSON 数组"},
        {"[" + valid + ",5]", "第 2 条记录无法解析"},
        {"[" + valid + ",{\"id\":1]", "不是 JSON 数组"},
        {"[" + valid + ",{\"id\":\"}\"}]", "第 2 条记录无法解析"},
        {"[" + valid + "," + valid.left(valid.size() - 1) + "]}]", "不是 JSON 数组"},
        {"[" + valid + ",{\"id\":\"x\"}]", "第 2 条记录无法解析"},
    };
    for (const auto &[contents, detail] : cases) {
        const HistoryFileCodec::Decoded decoded = HistoryFileCodec::decode(contents);
        EXPECT_EQ(decoded.problem, QString::fromUtf8(detail)) << contents.constData();
        EXPECT_TRUE(decoded.records.isEmpty()) << contents.constData();
    }
}

TEST_F(HistoryStoreTest, ClearingEmptiesBothFolders) {
    runTask(store.append(record(QUuid::createUuid(), now, QStringLiteral("x"))));
    writeFile(data(QStringLiteral("recordings/.hidden.m4a")), "x");
    writeFile(data(QStringLiteral("recordings/nested/deep.m4a")), "x");
    runTask(store.clearAllRecords());
    EXPECT_EQ(readFile(data(QStringLiteral("history.json"))), QByteArray("[\n]\n"));
    for (const QString &folder : {QStringLiteral("recordings"), QStringLiteral("transcripts")}) {
        EXPECT_TRUE(QFileInfo(data(folder)).isDir());
        EXPECT_TRUE(QDir(data(folder))
                        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                        .isEmpty());
    }
    EXPECT_TRUE(runTask(store.loadRecords()).isEmpty());
}

TEST_F(HistoryStoreTest, ClearingLeavesHeldRecordingsUntilTheRecordNamingThemIsSaved) {
    const QString running = QStringLiteral("0F6A6A4C-0000-4000-8000-00000000000A.m4a");
    writeFile(data(QStringLiteral("recordings/") + running), "x");
    writeFile(data(QStringLiteral("recordings/OLD.m4a")), "x");
    std::shared_ptr<RecordingHold> hold = store.holdRecording(running);
    std::shared_ptr<RecordingHold> secondHold = store.holdRecording(running);
    // A deletion spares it too: a retry of the deleted record still uses it.
    TranscriptRecord retried = record(QUuid::createUuid(), now.addSecs(-60), QStringLiteral("旧"));
    retried.audioFileName = running;
    runTask(store.append(retried));
    EXPECT_TRUE(runTask(store.deleteRecord(retried.id)).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(data(QStringLiteral("recordings/") + running)));
    runTask(store.clearAllRecords());
    EXPECT_TRUE(QFileInfo::exists(data(QStringLiteral("recordings/") + running)));
    EXPECT_FALSE(QFileInfo::exists(data(QStringLiteral("recordings/OLD.m4a"))));
    secondHold.reset();
    runTask(store.clearAllRecords());
    EXPECT_TRUE(QFileInfo::exists(data(QStringLiteral("recordings/") + running)))
        << "one hold is still out";

    // The append lets its hold go once the record is saved, so a clearing
    // queued right behind it takes the recording with the record.
    TranscriptRecord dictation = record(QUuid::createUuid(), now, QStringLiteral("x"));
    dictation.audioFileName = running;
    QCoro::Task<QList<TranscriptRecord>> appended = store.append(dictation, std::move(hold));
    QCoro::Task<void> cleared = store.clearAllRecords();
    EXPECT_EQ(runTask(std::move(appended)).size(), 1);
    runTask(std::move(cleared));
    EXPECT_TRUE(runTask(store.loadRecords()).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(data(QStringLiteral("recordings/") + running)));
}

} // namespace
} // namespace tovalit
