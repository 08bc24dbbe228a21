#pragma once

#include "platform/audio_input.h"

#include <mutex>
#include <optional>

namespace tovalit {

// An audio input that the test feeds by hand: feed() runs the handler on
// the calling thread, as the capture thread would.
class FakeAudioInput : public AudioInput {
public:
    explicit FakeAudioInput(PcmFormat format);

    bool hasDefaultInputDevice() override;
    PcmFormat inputFormat() override;
    void start(const PcmFormat &format, int framesPerBuffer, BufferHandler handler) override;
    void stop() override;
    bool isRunning() const override;

    void setHasDefaultInputDevice(bool present);
    // The next start() throws this error.
    void failNextStart(AudioInputError error);
    // The next inputFormat() throws this error.
    void failNextFormatQuery(AudioInputError error);

    // Hands one buffer to the handler when running; false when not.
    bool feed(const PcmBuffer &buffer);

    int startCount() const;
    int stopCount() const;
    int lastFramesPerBuffer() const;
    std::optional<PcmFormat> lastStartFormat() const;

private:
    mutable std::mutex m_mutex;
    PcmFormat m_format;
    bool m_hasDevice = true;
    std::optional<AudioInputError> m_startError;
    std::optional<AudioInputError> m_formatError;
    BufferHandler m_handler;
    bool m_running = false;
    qint64 m_framesDelivered = 0;
    int m_startCount = 0;
    int m_stopCount = 0;
    int m_framesPerBuffer = 0;
    std::optional<PcmFormat> m_startFormat;
};

} // namespace tovalit
