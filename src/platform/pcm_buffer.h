#pragma once

#include <QtGlobal>

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace tovalit {

// How one sample is stored. `Other` stands for any layout the application
// does not process itself (compressed, packed 24-bit, unsigned 8-bit).
enum class PcmSampleType { Float32, Float64, Int16, Int32, Other };

// Bytes of one sample of `type`; 0 for Other.
int bytesPerSample(PcmSampleType type);

// The shape of uncompressed audio: rate, channels, sample type and whether
// the channels share one interleaved buffer or each have their own.
struct PcmFormat {
    double sampleRate = 0;
    int channelCount = 0;
    PcmSampleType sampleType = PcmSampleType::Float32;
    bool interleaved = true;

    // A format buffers can be made of: positive rate and channel count and a
    // sample type with a size.
    bool isValid() const;
    int bufferCount() const { return interleaved ? 1 : channelCount; }
    // Bytes of one frame within one of the buffers.
    int bytesPerFrame() const;

    bool operator==(const PcmFormat &other) const = default;
};

// Where a captured buffer sits in time: its first frame's index since the
// input started, and the monotonic time (seconds) at which it was read.
struct AudioTime {
    qint64 sampleTime = 0;
    double hostSeconds = 0;
};

// A block of PCM audio that owns its sample memory: room for `frameCapacity`
// frames, of which the first `frameLength` are valid. Interleaved audio has
// one buffer; planar audio one buffer per channel.
class PcmBuffer {
public:
    // Throws std::invalid_argument for an invalid format or a negative
    // capacity, std::bad_alloc when the memory cannot be had.
    PcmBuffer(const PcmFormat &format, int frameCapacity);

    const PcmFormat &format() const { return m_format; }
    int frameCapacity() const { return m_frameCapacity; }
    int frameLength() const { return m_frameLength; }
    // Clamped to 0...frameCapacity().
    void setFrameLength(int frames);

    int bufferCount() const { return static_cast<int>(m_buffers.size()); }
    // The valid bytes of buffer `index` (frameLength() frames).
    qsizetype byteSize(int index) const;
    std::byte *data(int index) { return m_buffers[index].data(); }
    const std::byte *data(int index) const { return m_buffers[index].data(); }

    // The valid samples of buffer `index` viewed as T, which must match the
    // sample type (float for Float32 and so on).
    template <typename T>
    std::span<T> samples(int index) {
        return {reinterpret_cast<T *>(data(index)), static_cast<size_t>(sampleCount())};
    }
    template <typename T>
    std::span<const T> samples(int index) const {
        return {reinterpret_cast<const T *>(data(index)), static_cast<size_t>(sampleCount())};
    }

private:
    qsizetype sampleCount() const;

    PcmFormat m_format;
    int m_frameCapacity = 0;
    int m_frameLength = 0;
    std::vector<std::vector<std::byte>> m_buffers;
};

// Deep copies of captured buffers. A capture callback's buffer is only
// valid during the callback (the input reuses it), so whoever keeps one
// longer copies it first.
namespace PCMBufferSnapshot {

// A new buffer with the source's format, capacity and length that owns its
// own samples; nothing when the memory cannot be had.
std::shared_ptr<PcmBuffer> makeOwnedCopy(const PcmBuffer &buffer);

} // namespace PCMBufferSnapshot

} // namespace tovalit
