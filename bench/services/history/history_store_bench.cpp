// Load and append against a history of 10,000 dictations, each with its
// readable transcript file, as a long-time user's data folder holds them.

#include "services/history/history_store.h"
#include "services/history/transcript_file_format.h"
#include "support/json_text.h"
#include "support/uuid_text.h"
#include "tests/support/run_task.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace tovalit {
namespace {

constexpr int recordCount = 10'000;

QCoreApplication &application() {
    static int argc = 1;
    static char name[] = "bench_history_store";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

QString transcriptOf(int index) {
    // 200 characters of mixed Chinese and Latin text.
    QString text = QStringLiteral("第%1条：").arg(index);
    while (text.size() < 200)
        text += QStringLiteral("今天下午三点和产品团队讨论 Kovarindel 部署方案，");
    return text.left(200);
}

// A data folder with history.json and one transcript file per record.
class HistoryFixture {
public:
    HistoryFixture() {
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-200);
        QJsonArray array;
        QDir().mkpath(m_folder.filePath(QStringLiteral("transcripts")));
        QDir().mkpath(m_folder.filePath(QStringLiteral("recordings")));
        for (int i = 0; i < recordCount; ++i) {
            TranscriptRecord record;
            record.id = QUuid::createUuid();
            record.createdAt =
                QDateTime::fromSecsSinceEpoch(start.toSecsSinceEpoch() + i * 60, Qt::UTC);
            record.duration = 12.5 + i % 50;
            record.transcript = transcriptOf(i);
            record.rawTranscript = record.transcript + QStringLiteral("嗯");
            record.transcriptFileName = uuidtext::upper(record.id) + QStringLiteral(".txt");
            record.status =
                i % 7 == 0 ? TranscriptRecordStatus::warning : TranscriptRecordStatus::completed;
            if (record.status == TranscriptRecordStatus::warning)
                record.note = QStringLiteral("不支持回读确认");
            array.append(record.toJson());
            QFile file(m_folder.filePath(QStringLiteral("transcripts/")) +
                       *record.transcriptFileName);
            file.open(QIODevice::WriteOnly);
            file.write(
                TranscriptFileFormat::transcriptFileContents(record, record.transcript).toUtf8());
        }
        QFile history(m_folder.filePath(QStringLiteral("history.json")));
        history.open(QIODevice::WriteOnly);
        history.write(json::pretty(array));
    }

    QString path() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
};

HistoryFixture &fixture() {
    static HistoryFixture instance;
    return instance;
}

void BM_LoadTenThousandRecords(benchmark::State &state) {
    application();
    HistoryStore store(fixture().path());
    for (auto _ : state) {
        const auto records = testing::runTask(store.loadRecords());
        if (records.size() < recordCount)
            state.SkipWithError("records went missing");
        benchmark::DoNotOptimize(records);
    }
}
BENCHMARK(BM_LoadTenThousandRecords)->Unit(benchmark::kMillisecond);

void BM_AppendToTenThousandRecords(benchmark::State &state) {
    application();
    HistoryStore store(fixture().path());
    int index = 0;
    for (auto _ : state) {
        TranscriptRecord record;
        record.id = QUuid::createUuid();
        record.createdAt = QDateTime::currentDateTimeUtc();
        record.duration = 8;
        record.transcript = transcriptOf(recordCount + index++);
        const auto records = testing::runTask(store.append(record));
        benchmark::DoNotOptimize(records);
    }
}
BENCHMARK(BM_AppendToTenThousandRecords)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tovalit
