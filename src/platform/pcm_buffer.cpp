#include "platform/pcm_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tovalit {

int bytesPerSample(PcmSampleType type) {
    switch (type) {
    case PcmSampleType::Float32:
    case PcmSampleType::Int32:
        return 4;
    case PcmSampleType::Float64:
        return 8;
    case PcmSampleType::Int16:
        return 2;
    case PcmSampleType::Other:
        return 0;
    }
    return 0;
}

bool PcmFormat::isValid() const {
    return sampleRate > 0 && channelCount > 0 && bytesPerSample(sampleType) > 0;
}

int PcmFormat::bytesPerFrame() const {
    return bytesPerSample(sampleType) * (interleaved ? channelCount : 1);
}

PcmBuffer::PcmBuffer(const PcmFormat &format, int frameCapacity)
    : m_format(format)
    , m_frameCapacity(frameCapacity) {
    if (!format.isValid())
        throw std::invalid_argument("PcmBuffer: invalid format");
    if (frameCapacity < 0)
        throw std::invalid_argument("PcmBuffer: negative capacity");
    const size_t bytes = size_t(frameCapacity) * size_t(format.bytesPerFrame());
    m_buffers.resize(size_t(format.bufferCount()));
    for (auto &buffer : m_buffers)
        buffer.resize(bytes);
}

void PcmBuffer::setFrameLength(int frames) {
    m_frameLength = std::clamp(frames, 0, m_frameCapacity);
}

qsizetype PcmBuffer::byteSize(int index) const {
    Q_UNUSED(index);
    return qsizetype(m_frameLength) * m_format.bytesPerFrame();
}

qsizetype PcmBuffer::sampleCount() const {
    return qsizetype(m_frameLength) * (m_format.interleaved ? m_format.channelCount : 1);
}

std::shared_ptr<PcmBuffer> PCMBufferSnapshot::makeOwnedCopy(const PcmBuffer &buffer) {
    try {
        auto copy = std::make_shared<PcmBuffer>(buffer.format(), buffer.frameCapacity());
        copy->setFrameLength(buffer.frameLength());
        if (copy->bufferCount() != buffer.bufferCount())
            return nullptr;
        for (int index = 0; index < buffer.bufferCount(); ++index) {
            const qsizetype size = buffer.byteSize(index);
            if (size == 0)
                continue;
            std::memcpy(copy->data(index), buffer.data(index), size_t(size));
        }
        return copy;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

} // namespace tovalit
