#include "services/lexicon/local_replacement_engine.h"
#include "services/lexicon/personal_lexicon_compiler.h"

#include <benchmark/benchmark.h>
#include <random>

namespace tovalit {
namespace {

const QDateTime epoch = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);

// Common ideographs, so generated terms read like real Chinese terms to
// the rules (no stop words or banned affixes by construction of the pool).
const QString ideographs =
    QStringLiteral("向量数据模型服务器集群网络协议接口编译检索引擎架构容器调度存储缓存队列消息"
                   "日志监控告警部署镜像仓库节点分片副本索引查询事务权限认证令牌加密签名");

QString chineseTerm(std::mt19937 &random, int length) {
    std::uniform_int_distribution<qsizetype> pick(0, ideographs.size() - 1);
    QString term;
    for (int i = 0; i < length; ++i)
        term.append(ideographs[pick(random)]);
    return term;
}

QString asciiTerm(std::mt19937 &random, int index) {
    static const char *stems[] = {"Kovar", "Vector", "Graph", "Stream", "Cloud", "Data", "Edge"};
    std::uniform_int_distribution<int> stem(0, 6);
    return QString::fromLatin1(stems[stem(random)]) + QStringLiteral("X") + QString::number(index);
}

PersonalLexiconEntry entry(PersonalLexiconEntryKind kind, std::optional<QString> source,
                           QString target, std::mt19937 &random) {
    std::uniform_int_distribution<int> hits(1, 20);
    std::uniform_int_distribution<int> minutes(0, 60 * 24 * 90);
    const QDateTime updated = epoch.addSecs(60 * minutes(random));
    return PersonalLexiconEntry(
        QUuid::createUuid(), kind, std::nullopt, std::nullopt, std::move(source), std::move(target),
        PersonalLexiconEntrySource::manual, hits(random), true,
        PersonalLexiconCloudSyncStatus::pending, epoch, updated, std::nullopt);
}

// 5,000 entries: three hot words for every replacement, half of each in
// Chinese and half in ASCII.
PersonalLexiconSnapshot lexiconOf5000() {
    std::mt19937 random(42);
    std::uniform_int_distribution<int> length(2, 6);
    PersonalLexiconSnapshot snapshot;
    for (int i = 0; i < 5000; ++i) {
        const bool chinese = i % 2 == 0;
        if (i % 4 == 3) {
            const QString source =
                chinese ? chineseTerm(random, length(random)) : asciiTerm(random, i).toLower();
            snapshot.entries.append(entry(PersonalLexiconEntryKind::replacement, source,
                                          source + QStringLiteral("甲"), random));
        } else {
            const QString target =
                chinese ? chineseTerm(random, length(random)) : asciiTerm(random, i);
            snapshot.entries.append(
                entry(PersonalLexiconEntryKind::hotword, std::nullopt, target, random));
        }
    }
    snapshot.cloudState.syncNamespace = QStringLiteral("bench");
    return snapshot;
}

void BM_CompileSpeechConfiguration5000(benchmark::State &state) {
    const PersonalLexiconSnapshot snapshot = lexiconOf5000();
    for (auto _ : state) {
        auto configuration = PersonalLexiconCompiler::makeSpeechConfiguration(snapshot);
        benchmark::DoNotOptimize(configuration);
    }
}
BENCHMARK(BM_CompileSpeechConfiguration5000)->Unit(benchmark::kMillisecond);

void BM_CompileUploadLines5000(benchmark::State &state) {
    const PersonalLexiconSnapshot snapshot = lexiconOf5000();
    for (auto _ : state) {
        auto hotwords = PersonalLexiconCompiler::makeHotwordFileLines(snapshot.entries);
        auto replacements = PersonalLexiconCompiler::makeReplacementFileLines(snapshot.entries);
        benchmark::DoNotOptimize(hotwords);
        benchmark::DoNotOptimize(replacements);
    }
}
BENCHMARK(BM_CompileUploadLines5000)->Unit(benchmark::kMillisecond);

// 500 replacements (half ASCII words, half Chinese) over a 2,000-character
// text of Chinese with English words, where 50 of the sources occur.
void BM_Apply500ReplacementsTo2000Characters(benchmark::State &state) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> length(2, 5);
    QList<PersonalLexiconEntry> entries;
    QStringList sources;
    for (int i = 0; i < 500; ++i) {
        const QString source =
            i % 2 == 0 ? chineseTerm(random, length(random)) : asciiTerm(random, i).toLower();
        sources.append(source);
        entries.append(entry(PersonalLexiconEntryKind::replacement, source,
                             QStringLiteral("替换") + QString::number(i), random));
    }
    QString text;
    int next = 0;
    while (text.size() < 2000) {
        text += chineseTerm(random, 12);
        if (next < 50) {
            text += u' ' + sources[next * 10 + (next % 2)] + u' ';
            ++next;
        }
    }
    text.truncate(2000);
    state.counters["applied"] =
        static_cast<double>(LocalReplacementEngine::apply(text, entries).appliedEntries.size());
    for (auto _ : state) {
        auto result = LocalReplacementEngine::apply(text, entries);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_Apply500ReplacementsTo2000Characters)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tovalit
