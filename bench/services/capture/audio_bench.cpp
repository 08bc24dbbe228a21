// Costs on the capture path: encoding a minute of dictation to AAC (which
// decides whether the capture thread may encode inline or must hand
// buffers to a writer thread), converting to the recognisers' 16 kHz
// mono, and metering one buffer.

#include "platform/linux/ffmpeg_aac_file_writer.h"
#include "platform/linux/pulse_audio_input.h"
#include "platform/pcm_converter.h"
#include "services/capture/audio_capture_service.h"
#include "services/capture/audio_level_meter.h"
#include "tests/support/run_task.h"
#include "tests/support/spoken_audio.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <benchmark/benchmark.h>
#include <cmath>
#include <unistd.h>

using namespace tovalit;

namespace {

constexpr int framesPerBuffer = 1024;

// CPU seconds (user + system) spent so far by the sound server client's
// thread, which the capture runs on.
double captureThreadCpuSeconds() {
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(id + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "tovalit-audio")
            continue;
        QFile stat(tasks.filePath(id + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // Fields after the parenthesised name: state is field 3, utime 14,
        // stime 15.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
        return ticks / double(sysconf(_SC_CLK_TCK));
    }
    return 0;
}

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

// A minute of real speech (espeak-ng, a few sentences over and over) at the
// format's rate and channel count, in capture-sized buffers. The encoder's
// search works harder on a voice than on steady tones, so this is the
// figure a dictation pays. Nothing when espeak-ng is missing.
std::vector<PcmBuffer> minuteOfSpeech(const PcmFormat &format) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("speech.wav"));
    if (tovalit::testing::synthesizeSpeech(
            QStringLiteral("The quarterly review moves to Thursday morning. Please send the "
                           "figures for the northern region before noon, and bring the draft "
                           "of the travel policy."),
            path, {QStringLiteral("-s"), QStringLiteral("160")}))
        return {};
    const tovalit::testing::DecodedAudio voice = tovalit::testing::decodeAudioFile(path);
    PcmBuffer source(PcmFormat{voice.sampleRate, 1, PcmSampleType::Float32, true},
                     int(voice.samples.size()));
    source.setFrameLength(int(voice.samples.size()));
    std::copy(voice.samples.begin(), voice.samples.end(), source.samples<float>(0).begin());
    PcmConverter converter(source.format(), format);
    const PcmBuffer once = converter.convert(source);
    const auto samples = once.samples<float>(0);
    const size_t frameCount = size_t(once.frameLength());
    const int total = int(format.sampleRate * 60);
    std::vector<PcmBuffer> buffers;
    for (int start = 0; start < total; start += framesPerBuffer) {
        PcmBuffer buffer(format, framesPerBuffer);
        buffer.setFrameLength(framesPerBuffer);
        auto out = buffer.samples<float>(0);
        for (size_t index = 0; index < out.size(); ++index)
            out[index] = samples[(size_t(start) * size_t(format.channelCount) + index) %
                                 (frameCount * size_t(format.channelCount))];
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

// Arguments: rate, channels, and 1 for real speech instead of tones.
void BM_EncodeMinuteToAac(benchmark::State &state) {
    const PcmFormat format{double(state.range(0)), int(state.range(1)), PcmSampleType::Float32,
                           true};
    const auto buffers = state.range(2) ? minuteOfSpeech(format) : minuteOfSpeechLikeAudio(format);
    if (buffers.empty()) {
        state.SkipWithError("espeak-ng is needed");
        return;
    }
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
    ->Args({48000, 1, 0})
    ->Args({48000, 2, 0})
    ->Args({16000, 1, 0})
    ->Args({48000, 1, 1})
    ->Args({16000, 1, 1})
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

// The capture thread's share of one core while recording from the default
// PulseAudio source through the whole service (file, meter, level posts).
// Needs a sound server (run it inside scripts/lib/headless-session).
void BM_CaptureThreadCpuShare(benchmark::State &state) {
    if (!PulseAudioInput().hasDefaultInputDevice()) {
        state.SkipWithError("no PulseAudio source");
        return;
    }
    static int argc = 1;
    static char name[] = "bench_audio";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *application =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(application);
    QTemporaryDir folder;
    const double seconds = double(state.range(0));
    for (auto _ : state) {
        AudioCaptureService service(
            std::make_shared<PulseAudioInput>(), ffmpegAacFileWriterFactory(),
            [&] { return folder.path(); }, systemMonotonicClock());
        std::atomic<qint64> frames{0};
        service.setOnBuffer(
            [&](const PcmBuffer &buffer, const AudioTime &) { frames += buffer.frameLength(); });
        tovalit::testing::runTask(service.start());
        const double before = captureThreadCpuSeconds();
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < qint64(seconds * 1000))
            tovalit::testing::pumpEvents(50);
        const double cpu = captureThreadCpuSeconds() - before;
        service.stop(false);
        state.counters["cpu_share_percent"] = 100.0 * cpu / (double(elapsed.elapsed()) / 1000);
        state.counters["captured_seconds"] =
            double(frames) / PulseAudioInput().inputFormat().sampleRate;
    }
}
BENCHMARK(BM_CaptureThreadCpuShare)
    ->Arg(10)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
