// What every partial result of a meeting costs: the increment since the
// previous text and the raw segments rebuilt from the whole transcript,
// at the length of a meeting of about one hour.

#include "services/meeting/meeting_live_transcript.h"

#include <benchmark/benchmark.h>

namespace {

using namespace tovalit;

QString meetingTranscript(qsizetype characters) {
    QString text;
    while (text.size() < characters)
        text += QStringLiteral("我们今天讨论一下下个季度的产品路线，重点是语音输入的体验。");
    return text;
}

// The recogniser added a few words at the end, or revised the last
// sentence.
void transcriptIncrement(benchmark::State &state) {
    const QString previous = meetingTranscript(state.range(0));
    const QString grown = previous + QStringLiteral("接下来说招聘");
    const QString revised = previous.chopped(10) + QStringLiteral("改了最后几个字再接着说");
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            MeetingLiveTranscript::meetingTranscriptIncrement(previous, grown));
        benchmark::DoNotOptimize(
            MeetingLiveTranscript::meetingTranscriptIncrement(previous, revised));
    }
}
BENCHMARK(transcriptIncrement)->Arg(2000)->Arg(15000);

void rawSegments(benchmark::State &state) {
    const QString transcript = meetingTranscript(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(MeetingLiveTranscript::buildMeetingASRSegments(transcript));
}
BENCHMARK(rawSegments)->Arg(2000)->Arg(15000);

} // namespace
