// Costs on the capture path: encoding a minute of dictation to AAC (which
// decides whether the capture thread may encode inline or must hand
// buffers to a writer thread), converting to the recognisers' 16 kHz
// mono, and metering one buffer.

#include "platform/linux/ffmpeg_aac_file_writer.h"
#include "platform/pcm_converter.h"
#include "services/audio_level_meter.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cmath>

using namespace tovalit;

namespace {

constexpr int framesPerBuffer = 1024;

// A minute of a voice-like signal (a few harmonics with a slow vibrato),
// in capture-sized buffers: silence would flatter the encoder.
std::vector<PcmBuffer> minuteOfSpeechLikeAudio(const PcmFormat &format) {
    const int total = int(format.sampleRate * 60);
    std::vector<PcmBuffer> buffers;
    double phase = 0;
    for (int start = 0; start < total; start += framesPerBuffer) {
        PcmBuffer buffer(format, framesPerBuffer);
        buffer.setFrameLength(framesPerBuffer);
        auto samples = buffer.samples<float>(0);
        for (int frame = 0; frame < framesPerBuffer; ++frame) {
            const double t = double(start + frame) / format.sampleRate;
            const double pitch = 140 + 20 * std::sin(2 * M_PI * 3 * t);
            phase += 2 * M_PI * pitch / format.sampleRate;
            const float value = float(0.3 * std::sin(phase) + 0.15 * std::sin(2 * phase) +
                                      0.08 * std::sin(3 * phase));
            for (int channel = 0; channel < format.channelCount; ++channel)
                samples[size_t(frame * format.channelCount + channel)] = value;
        }
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

void BM_EncodeMinuteToAac(benchmark::State &state) {
    const PcmFormat format{double(state.range(0)), int(state.range(1)), PcmSampleType::Float32,
                           true};
    const auto buffers = minuteOfSpeechLikeAudio(format);
    QTemporaryDir folder;
    for (auto _ : state) {
        FfmpegAacFileWriter writer(folder.filePath(QStringLiteral("bench.m4a")),
                                   {format.sampleRate, format.channelCount, 96000}, format);
        for (const auto &buffer : buffers)
            writer.write(buffer);
        writer.close();
    }
    state.counters["buffer_us"] = benchmark::Counter(double(buffers.size()),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert,
                                                     benchmark::Counter::kIs1000);
}
BENCHMARK(BM_EncodeMinuteToAac)
    ->Args({48000, 1})
    ->Args({48000, 2})
    ->Args({16000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ConvertMinuteTo16kMono(benchmark::State &state) {
    const PcmFormat format{48000, 1, PcmSampleType::Float32, true};
    const PcmFormat target{16000, 1, PcmSampleType::Int16, true};
    const auto buffers = minuteOfSpeechLikeAudio(format);
    for (auto _ : state) {
        PcmConverter converter(format, target);
        qint64 frames = 0;
        for (const auto &buffer : buffers)
            frames += converter.convert(buffer).frameLength();
        frames += converter.flush().frameLength();
        benchmark::DoNotOptimize(frames);
    }
}
BENCHMARK(BM_ConvertMinuteTo16kMono)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MeterOneBuffer(benchmark::State &state) {
    const PcmFormat format{48000, 1, PcmSampleType::Float32, true};
    const auto buffers = minuteOfSpeechLikeAudio(format);
    size_t index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(AudioLevelMeter::rawMeterLevels(buffers[index]));
        index = (index + 1) % buffers.size();
    }
}
BENCHMARK(BM_MeterOneBuffer);

} // namespace
