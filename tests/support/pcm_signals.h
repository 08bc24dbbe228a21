#pragma once

#include "platform/pcm_buffer.h"

#include <cmath>
#include <functional>

// Test signals as PCM buffers.
namespace tovalit::testing {

// A buffer of `frames` frames whose every channel holds
// `sampleAt(frame index)` (a value in -1...1), converted to the format's
// sample type.
inline PcmBuffer makeBuffer(const PcmFormat &format, int frames,
                            const std::function<double(int frame)> &sampleAt) {
    PcmBuffer buffer(format, frames);
    buffer.setFrameLength(frames);
    const int channels = format.channelCount;
    const int stride = format.interleaved ? channels : 1;
    for (int bufferIndex = 0; bufferIndex < buffer.bufferCount(); ++bufferIndex) {
        const int lanes = format.interleaved ? channels : 1;
        for (int frame = 0; frame < frames; ++frame) {
            const double value = sampleAt(frame);
            for (int lane = 0; lane < lanes; ++lane) {
                const size_t index = size_t(frame * stride + lane);
                switch (format.sampleType) {
                case PcmSampleType::Float32:
                    buffer.samples<float>(bufferIndex)[index] = float(value);
                    break;
                case PcmSampleType::Float64:
                    buffer.samples<double>(bufferIndex)[index] = value;
                    break;
                case PcmSampleType::Int16:
                    buffer.samples<qint16>(bufferIndex)[index] = qint16(std::lround(value * 32767));
                    break;
                case PcmSampleType::Int32:
                    buffer.samples<qint32>(bufferIndex)[index] =
                        qint32(std::llround(value * 2147483647.0));
                    break;
                case PcmSampleType::Other:
                    break;
                }
            }
        }
    }
    return buffer;
}

inline PcmBuffer constantBuffer(const PcmFormat &format, int frames, double value) {
    return makeBuffer(format, frames, [value](int) { return value; });
}

// A sine of `hertz` at `amplitude`, starting at frame `offset` of the
// stream (so consecutive buffers join without a seam).
inline PcmBuffer sineBuffer(const PcmFormat &format, int frames, double hertz, double amplitude,
                            qint64 offset = 0) {
    return makeBuffer(format, frames, [&](int frame) {
        return amplitude * std::sin(2 * M_PI * hertz * double(offset + frame) / format.sampleRate);
    });
}

} // namespace tovalit::testing
