#include "services/text_processing/transcript_cleanup_service.h"
#include "services/text_processing/vellup_structured_formatter.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

namespace {

using namespace Qt::StringLiterals;
using tovalit::TranscriptCleanupService;
using tovalit::VellupStructuredFormatter;

// A dictation of about `length` characters: Chinese with fillers, stray
// spaces, half-width marks and some Latin terms, as recognisers deliver it.
QString dictation(qsizetype length) {
    const QString sentence =
        u"嗯 我们今天先把 icon 改成黑白版,然后 明天再看一眼配色方案?? 啊 有问题再统一调整 "_s;
    QString text;
    while (text.size() < length)
        text += sentence;
    return text.left(length);
}

// The {"text": …} answer a model gives for such a dictation.
QString answerObject(qsizetype length) {
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{u"text"_s, dictation(length)}}).toJson(QJsonDocument::Compact));
}

void cleanup(benchmark::State &state) {
    const TranscriptCleanupService service;
    const QString text = dictation(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(service.clean(text));
}
BENCHMARK(cleanup)->Arg(2000)->Unit(benchmark::kMicrosecond);

void renderObjectAnswer(benchmark::State &state) {
    const QString answer = u"<think>先想一想</think>"_s + answerObject(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(VellupStructuredFormatter::renderStructuredContent(answer, u"x"));
}
BENCHMARK(renderObjectAnswer)->Arg(2000)->Unit(benchmark::kMicrosecond);

// The continuation after the "{" prefill: no candidate, a failed whole-text
// decode, then the loose pattern; the longest common path.
void renderPrefilledContinuation(benchmark::State &state) {
    const QString answer = answerObject(state.range(0)).mid(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(VellupStructuredFormatter::renderStructuredContent(answer, u"x"));
}
BENCHMARK(renderPrefilledContinuation)->Arg(2000)->Unit(benchmark::kMicrosecond);

void renderPlainProse(benchmark::State &state) {
    const QString answer = dictation(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(VellupStructuredFormatter::renderStructuredContent(answer, u"x"));
}
BENCHMARK(renderPlainProse)->Arg(2000)->Unit(benchmark::kMicrosecond);

} // namespace
