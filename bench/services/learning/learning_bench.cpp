#include "services/learning/history_frequency_lexicon_learner.h"
#include "services/learning/lexicon_learning_ai_service.h"

#include <benchmark/benchmark.h>

// The daily history batch learns from the whole history at once: local
// segmentation of every transcript, then one counting pass. The reply
// recovery runs on every edit analysis.

namespace {

using namespace tovalit;

const QString transcripts[] = {
    QStringLiteral("今天下午三点开会，讨论 Q3 roadmap 和 Kovarindel 集群的扩容方案。"),
    QStringLiteral("把 MivoPad 上的 Cursor 插件升级一下，再看看 GZV模型 的回复速度。"),
    QStringLiteral("请张伟明天把飞书文档里的 API 设计整理好，发给 Tovalit 团队。"),
};

void segmentTranscript(benchmark::State &state) {
    const QString &text = transcripts[0];
    for (auto _ : state)
        benchmark::DoNotOptimize(HistoryFrequencyLexiconLearner::extractDiscoverableTerms(text));
}
BENCHMARK(segmentTranscript);

void learnFromHistory(benchmark::State &state) {
    const int records = static_cast<int>(state.range(0));
    QList<HistoryLexiconDiscovery> discoveries;
    for (int index = 0; index < records; ++index) {
        // A few made-up names, so the lexicon grows beyond a handful of words.
        const QString transcript =
            transcripts[index % 3] + QStringLiteral(" Term%1").arg(index % 997);
        discoveries.append(HistoryLexiconDiscovery{
            QUuid::createUuid(),
            HistoryFrequencyLexiconLearner::extractDiscoverableTerms(transcript)});
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            HistoryFrequencyLexiconLearner::learn(discoveries, {}, {}, {}, 3, now));
    }
    state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(learnFromHistory)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void recoverTruncatedAnalysis(benchmark::State &state) {
    QString content = QStringLiteral("<think>用户修正了术语</think>\"shouldLearn\": true, "
                                     "\"summary\": \"术语修正\", \"candidates\": [");
    for (int index = 0; index < 8; ++index) {
        content += QStringLiteral("{\"kind\": \"replacement\", \"sourceText\": \"飞数%1\", "
                                  "\"targetText\": \"飞书%1\", \"shareable\": false},")
                       .arg(index);
    }
    for (auto _ : state) {
        const QStringList candidates = LexiconLearningAIService::analysisJSONCandidates(content);
        for (const QString &candidate : candidates) {
            if (LexiconLearningAIService::tryDecodeAnalysis(candidate))
                break;
        }
    }
}
BENCHMARK(recoverTruncatedAnalysis)->Unit(benchmark::kMicrosecond);

} // namespace
