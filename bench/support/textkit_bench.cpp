#include "support/regex.h"
#include "support/textkit.h"

#include <benchmark/benchmark.h>

namespace {

QString sampleText(int repeats) {
    QString text;
    for (int i = 0; i < repeats; ++i)
        text += QStringLiteral(
            "今天下午三点开会，讨论 Q3 roadmap 👍🏽 和向量数据库的选型。");
    return text;
}

void graphemeCount2000(benchmark::State &state) {
    const QString text = sampleText(2000 / 36);
    for (auto _ : state)
        benchmark::DoNotOptimize(tovalit::textkit::graphemeCount(text));
}
BENCHMARK(graphemeCount2000);

void comparisonKey200(benchmark::State &state) {
    const QString text = sampleText(200 / 36);
    for (auto _ : state)
        benchmark::DoNotOptimize(tovalit::textkit::comparisonKey(text));
}
BENCHMARK(comparisonKey200);

void regexReplace2000(benchmark::State &state) {
    const QString text = sampleText(2000 / 36);
    const tovalit::textkit::Regex pattern(u"\\s+");
    for (auto _ : state)
        benchmark::DoNotOptimize(pattern.replaceAll(text, u" "));
}
BENCHMARK(regexReplace2000);

} // namespace
