// The per-buffer and per-partial work of a recording: handing a capture
// buffer to the recogniser, keeping it while the stream is down, and
// joining a partial text onto a long committed transcript.

#include "services/speech/live_transcriber.h"
#include "state/session/live_audio_buffer_relay.h"
#include "state/session/live_transcript_accumulator.h"

#include <benchmark/benchmark.h>

namespace {

using namespace tovalit;

class SilentTranscriber final : public LiveTranscriber {
public:
    void setOnPartial(PartialCallback) override {}
    QString engineName() const override { return {}; }
    QCoro::Task<void> start() override { co_return; }
    void append(const PcmBuffer &buffer) override { benchmark::DoNotOptimize(buffer.data(0)); }
    QCoro::Task<QString> finish() override { co_return QString(); }
    void cancel() override {}
};

PcmBuffer captureBuffer() {
    // What the capture thread delivers at 48 kHz: 1024 float frames.
    PcmBuffer buffer(PcmFormat{48000, 1, PcmSampleType::Float32, true}, 1024);
    buffer.setFrameLength(1024);
    return buffer;
}

void relayToAttachedRecogniser(benchmark::State &state) {
    LiveAudioBufferRelay relay(160);
    relay.setTranscriber(std::make_shared<SilentTranscriber>(), false);
    const PcmBuffer buffer = captureBuffer();
    for (auto _ : state)
        relay.append(buffer);
}
BENCHMARK(relayToAttachedRecogniser);

void relayIntoFullBacklog(benchmark::State &state) {
    LiveAudioBufferRelay relay(160);
    relay.beginBuffering();
    const PcmBuffer buffer = captureBuffer();
    for (int index = 0; index < 160; ++index)
        relay.append(buffer);
    for (auto _ : state)
        relay.append(buffer);
}
BENCHMARK(relayIntoFullBacklog);

// A meeting-length committed text and a partial of a few sentences that
// overlaps it by 40 characters, or not at all.
void mergePartial(benchmark::State &state) {
    const bool overlapping = state.range(0) != 0;
    QString committed;
    while (committed.size() < 5000)
        committed += QStringLiteral("我们今天讨论一下下个季度的产品路线，重点是语音输入的体验。");
    LiveTranscriptAccumulator accumulator;
    accumulator.sealCurrentTranscript(committed);
    const QString tail = committed.right(40);
    QString partial = overlapping ? tail : QStringLiteral("另外");
    while (partial.size() < 200)
        partial += QStringLiteral("然后再看一下上线时间和测试安排。");
    for (auto _ : state)
        benchmark::DoNotOptimize(accumulator.renderedPartial(partial));
}
BENCHMARK(mergePartial)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

} // namespace
