#pragma once

#include "platform/audio_input.h"

#include <QString>

#include <memory>

namespace tovalit {

// The default PulseAudio source (PipeWire desktops serve the same protocol
// through pipewire-pulse), read on the client library's own thread. Each
// query and each recording opens its own connection, so a restarted sound
// server never leaves a dead connection behind.
class PulseAudioInput : public AudioInput {
public:
    explicit PulseAudioInput(QString applicationName = QStringLiteral("Tovalit"));
    ~PulseAudioInput() override;

    bool hasDefaultInputDevice() override;
    PcmFormat inputFormat() override;
    void start(const PcmFormat &format, int framesPerBuffer, BufferHandler handler) override;
    void stop() override;
    bool isRunning() const override { return m_session != nullptr; }

private:
    struct Session;
    QString m_applicationName;
    std::unique_ptr<Session> m_session;
};

} // namespace tovalit
