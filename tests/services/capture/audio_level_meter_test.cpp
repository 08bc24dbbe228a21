#include "services/capture/audio_level_meter.h"
#include "tests/support/pcm_signals.h"

#include <gtest/gtest.h>

using namespace tovalit;
using namespace tovalit::testing;

namespace {

const PcmFormat float32Mono{48000, 1, PcmSampleType::Float32, true};

void expectLevels(const QList<double> &actual, const QList<double> &expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (qsizetype index = 0; index < actual.size(); ++index)
        EXPECT_NEAR(actual[index], expected[index], 1e-6) << "bar " << index;
}

// The bar for a bucket of constant amplitude `a`: (10 a)^0.6, capped.
double barFor(double amplitude) {
    return std::clamp(std::pow(amplitude * 10.0, 0.6), 0.14, 1.0);
}

TEST(AudioLevelMeter, BucketsFollowTheFrameCount) {
    // 3 frames: one sample per bar for bars 0 to 2, bars 3 and 4 idle.
    const QList<double> samples{0.01, 0.02, 0.05};
    const PcmBuffer three = makeBuffer(float32Mono, 3, [&](int frame) { return samples[frame]; });
    expectLevels(AudioLevelMeter::rawMeterLevels(three),
                 {barFor(0.01), barFor(0.02), barFor(0.05), 0.14, 0.14});

    // 1024 frames: buckets of 204; frames 1020 to 1023 are not metered, so
    // a loud tail there leaves the last bar silent.
    const PcmBuffer tail = makeBuffer(float32Mono, 1024, [](int frame) {
        if (frame >= 1020)
            return 1.0;
        return frame / 204 == 2 ? 0.02 : 0.0;
    });
    expectLevels(AudioLevelMeter::rawMeterLevels(tail), {0.14, 0.14, barFor(0.02), 0.14, 0.14});

    // An empty buffer gives the idle bars.
    expectLevels(AudioLevelMeter::rawMeterLevels(PcmBuffer(float32Mono, 16)),
                 AudioLevelMeter::idleLevels());
}

TEST(AudioLevelMeter, SilenceStaysIdleAndLoudnessEasesIn) {
    const auto raw = AudioLevelMeter::rawMeterLevels(constantBuffer(float32Mono, 1024, 0.0));
    expectLevels(raw, AudioLevelMeter::idleLevels());
    expectLevels(AudioLevelMeter::smoothed(AudioLevelMeter::idleLevels(), raw),
                 AudioLevelMeter::idleLevels());

    // RMS 0.1 in every bucket tops every bar; from idle the first eased
    // value is 0.55 x 0.14 + 0.45 x 1.0.
    const auto loud = AudioLevelMeter::rawMeterLevels(
        makeBuffer(float32Mono, 1024, [](int frame) { return frame % 2 ? 0.1 : -0.1; }));
    expectLevels(loud, {1, 1, 1, 1, 1});
    const auto first = AudioLevelMeter::smoothed(AudioLevelMeter::idleLevels(), loud);
    expectLevels(first, {0.527, 0.527, 0.527, 0.527, 0.527});
    expectLevels(AudioLevelMeter::smoothed(first, loud), QList<double>(5, 0.55 * 0.527 + 0.45));
    // Pairs only as far as the shorter list reaches.
    EXPECT_EQ(AudioLevelMeter::smoothed(first, {1.0, 1.0}).size(), 2);
}

TEST(AudioLevelMeter, ReadsChannelZeroOfEverySampleType) {
    // The same amplitude must give the same bars in every readable type.
    const double amplitude = 0.03;
    const QList<double> expected(5, barFor(amplitude));
    for (PcmSampleType type :
         {PcmSampleType::Float32, PcmSampleType::Int16, PcmSampleType::Int32}) {
        const PcmFormat format{16000, 1, type, true};
        const auto levels = AudioLevelMeter::rawMeterLevels(makeBuffer(
            format, 1000, [&](int frame) { return frame % 2 ? amplitude : -amplitude; }));
        ASSERT_EQ(levels.size(), 5);
        for (double level : levels)
            EXPECT_NEAR(level, expected[0], 1e-3) << "sample type " << int(type);
    }

    // 64-bit float is not metered.
    const PcmFormat float64{48000, 1, PcmSampleType::Float64, true};
    expectLevels(AudioLevelMeter::rawMeterLevels(constantBuffer(float64, 1024, 0.5)),
                 AudioLevelMeter::idleLevels());

    // Interleaved stereo: channel 0 silent, channel 1 loud; only channel 0
    // counts.
    const PcmFormat stereo{48000, 2, PcmSampleType::Float32, true};
    PcmBuffer buffer(stereo, 1024);
    buffer.setFrameLength(1024);
    auto samples = buffer.samples<float>(0);
    for (int frame = 0; frame < 1024; ++frame) {
        samples[size_t(2 * frame)] = 0.0f;
        samples[size_t(2 * frame + 1)] = 0.9f;
    }
    expectLevels(AudioLevelMeter::rawMeterLevels(buffer), AudioLevelMeter::idleLevels());
}

} // namespace
