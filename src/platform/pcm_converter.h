#pragma once

#include "platform/pcm_buffer.h"

#include <cstddef>
#include <memory>

namespace tovalit {

// Converts the PCM audio of one stream to another format: sample type,
// layout, channel count and rate. Keep one converter for the whole stream:
// the resampler's filter carries state across buffer boundaries, and a
// fresh converter per buffer would click at every seam and drop the tail
// the filter still holds. Not thread-safe; one stream, one thread at a time.
class PcmConverter {
public:
    // Throws AudioFileError (ConversionFailed) when either format is not
    // valid or the conversion cannot be set up.
    PcmConverter(const PcmFormat &from, const PcmFormat &to);
    ~PcmConverter();
    PcmConverter(PcmConverter &&other) noexcept;
    PcmConverter &operator=(PcmConverter &&other) noexcept;

    const PcmFormat &inputFormat() const { return m_from; }
    const PcmFormat &outputFormat() const { return m_to; }

    // Converts one buffer in inputFormat() (std::invalid_argument for any
    // other). While the resampler fills its filter the output may hold
    // fewer frames than went in; flush() hands over the rest.
    PcmBuffer convert(const PcmBuffer &input);
    // The same for raw sample memory: one pointer per buffer of
    // inputFormat(), `frameCount` frames each.
    PcmBuffer convert(const std::byte *const *buffers, int frameCount);
    // The frames still held at the end of the stream. The converter can go
    // on with a new stream afterwards.
    PcmBuffer flush();

private:
    struct Resampler;
    PcmBuffer run(const std::byte *const *buffers, int frameCount);

    PcmFormat m_from;
    PcmFormat m_to;
    std::unique_ptr<Resampler> m_resampler;
};

} // namespace tovalit
