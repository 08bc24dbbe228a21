#include "platform/fake/fake_audio_input.h"

namespace tovalit {

FakeAudioInput::FakeAudioInput(PcmFormat format)
    : m_format(format) {}

bool FakeAudioInput::hasDefaultInputDevice() {
    std::lock_guard lock(m_mutex);
    return m_hasDevice;
}

PcmFormat FakeAudioInput::inputFormat() {
    std::lock_guard lock(m_mutex);
    if (m_formatError) {
        const AudioInputError error = *m_formatError;
        m_formatError.reset();
        throw error;
    }
    return m_format;
}

void FakeAudioInput::start(const PcmFormat &format, int framesPerBuffer, BufferHandler handler) {
    std::lock_guard lock(m_mutex);
    ++m_startCount;
    m_startFormat = format;
    m_framesPerBuffer = framesPerBuffer;
    if (m_startError) {
        const AudioInputError error = *m_startError;
        m_startError.reset();
        throw error;
    }
    m_handler = std::move(handler);
    m_running = true;
    m_framesDelivered = 0;
}

void FakeAudioInput::stop() {
    std::lock_guard lock(m_mutex);
    ++m_stopCount;
    m_running = false;
    m_handler = nullptr;
}

bool FakeAudioInput::isRunning() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

void FakeAudioInput::setHasDefaultInputDevice(bool present) {
    std::lock_guard lock(m_mutex);
    m_hasDevice = present;
}

void FakeAudioInput::failNextStart(AudioInputError error) {
    std::lock_guard lock(m_mutex);
    m_startError = std::move(error);
}

void FakeAudioInput::failNextFormatQuery(AudioInputError error) {
    std::lock_guard lock(m_mutex);
    m_formatError = std::move(error);
}

bool FakeAudioInput::feed(const PcmBuffer &buffer) {
    // Held across the call, as a real input's stop() waits for a handler
    // that is mid-way.
    std::lock_guard lock(m_mutex);
    if (!m_running || !m_handler)
        return false;
    const AudioTime time{m_framesDelivered, 0};
    m_framesDelivered += buffer.frameLength();
    m_handler(buffer, time);
    return true;
}

int FakeAudioInput::startCount() const {
    std::lock_guard lock(m_mutex);
    return m_startCount;
}

int FakeAudioInput::stopCount() const {
    std::lock_guard lock(m_mutex);
    return m_stopCount;
}

int FakeAudioInput::lastFramesPerBuffer() const {
    std::lock_guard lock(m_mutex);
    return m_framesPerBuffer;
}

std::optional<PcmFormat> FakeAudioInput::lastStartFormat() const {
    std::lock_guard lock(m_mutex);
    return m_startFormat;
}

} // namespace tovalit
