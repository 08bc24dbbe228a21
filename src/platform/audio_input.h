#pragma once

#include "platform/pcm_buffer.h"
#include "support/app_error.h"

#include <QString>

#include <functional>

namespace tovalit {

class AudioInputError : public AppError {
public:
    enum class Kind { ServerUnavailable, NoInputDevice, StartFailed };
    AudioInputError(Kind kind, QString detail);
    Kind kind() const { return m_kind; }
    QString detail() const { return m_detail; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_detail;
};

// The system's default audio input, captured in fixed-size buffers on a
// thread of the input's own. Every call but the handler is made from one
// thread at a time; the calls may block briefly (they talk to the sound
// server), so callers keep them off the GUI thread where they can.
class AudioInput {
public:
    // Called on the capture thread for every buffer. The buffer is only
    // valid during the call: the input reuses it.
    using BufferHandler = std::function<void(const PcmBuffer &buffer, const AudioTime &time)>;

    virtual ~AudioInput() = default;

    // Whether there is a default input to record from at all; the Linux
    // counterpart of microphone access.
    virtual bool hasDefaultInputDevice() = 0;
    // The format buffers arrive in: the default input's own rate, channel
    // count and sample type where the application can handle them.
    // Throws AudioInputError.
    virtual PcmFormat inputFormat() = 0;
    // Starts capturing the default input in `format`, `framesPerBuffer`
    // frames per handler call. Throws AudioInputError; nothing runs then.
    virtual void start(const PcmFormat &format, int framesPerBuffer, BufferHandler handler) = 0;
    // Stops capturing. When it returns the handler is not running and will
    // not be called again. Harmless when not running.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

} // namespace tovalit
