#include "services/capture/audio_level_meter.h"

#include <algorithm>
#include <cmath>

namespace tovalit::AudioLevelMeter {

namespace {

constexpr int barCount = 5;
constexpr double idleLevel = 0.14;

template <typename SampleAt>
Levels normalizedLevels(int frameLength, int bucketSize, SampleAt sampleAt) {
    Levels levels;
    levels.reserve(barCount);
    for (int bar = 0; bar < barCount; ++bar) {
        const int start = bar * bucketSize;
        const int end = std::min((bar + 1) * bucketSize, frameLength);
        if (start >= end) {
            levels.append(idleLevels()[bar]);
            continue;
        }
        // Single precision on purpose: the bars must match the platform
        // meter they replace, rounding included.
        float sumOfSquares = 0;
        for (int frame = start; frame < end; ++frame) {
            const float sample = sampleAt(frame);
            sumOfSquares += sample * sample;
        }
        const float rms = std::sqrt(sumOfSquares / float(end - start));
        const double level = std::pow(double(rms) * 10.0, 0.6);
        levels.append(std::max(std::min(level, 1.0), idleLevels()[bar]));
    }
    return levels;
}

} // namespace

const Levels &idleLevels() {
    static const Levels levels(barCount, idleLevel);
    return levels;
}

Levels rawMeterLevels(const PcmBuffer &buffer) {
    const int frameLength = buffer.frameLength();
    if (frameLength == 0)
        return idleLevels();
    const int bucketSize = frameLength < barCount ? 1 : frameLength / barCount;
    // Channel 0 only; interleaved frames step over the other channels.
    const PcmFormat &format = buffer.format();
    const size_t stride = format.interleaved ? size_t(format.channelCount) : 1;
    switch (format.sampleType) {
    case PcmSampleType::Float32: {
        const auto samples = buffer.samples<float>(0);
        return normalizedLevels(frameLength, bucketSize,
                                [&](int frame) { return samples[size_t(frame) * stride]; });
    }
    case PcmSampleType::Int16: {
        const auto samples = buffer.samples<qint16>(0);
        return normalizedLevels(frameLength, bucketSize, [&](int frame) {
            return float(samples[size_t(frame) * stride]) / 32767.0f;
        });
    }
    case PcmSampleType::Int32: {
        const auto samples = buffer.samples<qint32>(0);
        return normalizedLevels(frameLength, bucketSize, [&](int frame) {
            return float(samples[size_t(frame) * stride]) * 0x1p-31f;
        });
    }
    case PcmSampleType::Float64:
    case PcmSampleType::Other:
        break;
    }
    return idleLevels();
}

Levels smoothed(const Levels &current, const Levels &raw) {
    const qsizetype count = std::min(current.size(), raw.size());
    Levels levels;
    levels.reserve(count);
    for (qsizetype index = 0; index < count; ++index)
        levels.append(std::max(0.55 * current[index] + 0.45 * raw[index], idleLevel));
    return levels;
}

} // namespace tovalit::AudioLevelMeter
