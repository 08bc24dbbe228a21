#pragma once

#include "models/vellup_speech_configuration.h"
#include "models/vellup_speech_lexicon_configuration.h"
#include "services/speech/live_transcriber.h"
#include "support/clock.h"
#include "support/cross_thread_promise.h"

#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>
#include <variant>

namespace tovalit {

class VellupStreamingSession;
class VellupStreamingSharedState;

// How long the recogniser waits for the service, and how often it keeps an
// idle stream alive. Tests shorten them.
struct VellupStreamingTimings {
    std::chrono::milliseconds startupTimeout{10'000};
    std::chrono::milliseconds finalizationTimeout{8'000};
    std::chrono::milliseconds keepAliveInterval{3'000};
    std::chrono::milliseconds keepAliveCheckInterval{1'000};

    // Every duration multiplied by `factor`.
    VellupStreamingTimings scaled(double factor) const;
};

// The cloud recogniser used for every dictation: one WebSocket to the
// speech service, directly with the service credentials or through the
// gateway with the session's bearer token. Captured audio is converted to
// 16 kHz mono 16-bit PCM and streamed in 100 ms frames; partial texts come
// back on the GUI thread; silence keeps a paused stream open; finish()
// flushes the rest and returns the final text; a broken stream is reported
// through the interruption callback and keeps the text recognised so far.
//
// The socket, the audio conversion and all framing live on one thread of
// the recogniser's own, so frames leave in sequence order. start(),
// finish() and cancel() are called on the GUI thread, append() on the
// capture thread.
class VellupStreamingTranscriber : public InterruptibleLiveTranscriber {
public:
    // `clock` decides when an idle stream is due a keep-alive; it is read
    // on the recogniser's thread.
    VellupStreamingTranscriber(VellupSpeechConfiguration configuration,
                               std::optional<VellupSpeechLexiconConfiguration> lexiconConfiguration,
                               VellupStreamingTimings timings = {},
                               std::optional<QUrl> directEndpoint = endpointURL(),
                               MonotonicClock clock = systemMonotonicClock());
    // Cancels whatever is running and stops the thread.
    ~VellupStreamingTranscriber() override;
    VellupStreamingTranscriber(const VellupStreamingTranscriber &) = delete;
    VellupStreamingTranscriber &operator=(const VellupStreamingTranscriber &) = delete;

    void setOnPartial(PartialCallback callback) override;
    void setOnInterruption(InterruptionCallback callback) override;
    QString engineName() const override;

    // Connects, sends the opening request and returns once the service has
    // answered. Throws VellupStreamingTranscriberError (missing credentials,
    // bad address, no answer in time, a closing text, cancellation, a bad
    // frame) or HttpTransportError for socket failures ("Socket is not
    // connected", with "invalid_token" when the handshake was refused as
    // unauthorised). A failed start leaves no connection behind.
    QCoro::Task<void> start() override;
    void append(const PcmBuffer &buffer) override;
    // Sends the remaining audio and the closing frame; returns the final
    // text, trimmed.
    QCoro::Task<QString> finish() override;
    // A waiting start() fails with connectionClosed("已取消"); a waiting
    // finish() returns the latest text as it stands. The connection is
    // closed with 1001 (going away).
    void cancel() override;

    // The direct route's address: a loopback placeholder with no path.
    static QUrl endpointURL();
    // "ws"/"wss" + the base URL's host, port and query, path <base>/ws/asr;
    // nothing when that gives no usable URL.
    static std::optional<QUrl> gatewayWebSocketURL(const QUrl &baseURL);

private:
    using StartupPromise = CrossThreadPromise<std::monostate>;
    using CompletionPromise = CrossThreadPromise<QString>;
    struct Runtime;

    VellupSpeechConfiguration m_configuration;
    std::optional<VellupSpeechLexiconConfiguration> m_lexiconConfiguration;
    std::optional<QUrl> m_directEndpoint;
    std::shared_ptr<VellupStreamingSharedState> m_shared;
    std::unique_ptr<Runtime> m_runtime;
    quint64 m_generation = 0;
    std::shared_ptr<StartupPromise> m_startup;
    std::shared_ptr<CompletionPromise> m_completion;
};

} // namespace tovalit
