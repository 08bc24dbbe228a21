#pragma once

namespace tovalit {

// When the streaming recogniser sends a frame of silence to keep the
// service from closing an idle stream: only once the service has answered,
// never while finishing or after the session ended, and only after
// `keepAliveInterval` seconds without any audio frame.
struct StreamingKeepAlivePolicy {
    double keepAliveInterval = 3.0;

    bool shouldSendKeepAlive(bool hasReceivedStartupResponse, bool isFinishing, bool isClosed,
                             double lastAudioPacketSentAt, double now) const {
        return hasReceivedStartupResponse && !isFinishing && !isClosed &&
               now - lastAudioPacketSentAt >= keepAliveInterval;
    }
};

} // namespace tovalit
