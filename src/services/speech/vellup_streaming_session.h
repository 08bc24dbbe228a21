#pragma once

#include "models/vellup_speech_lexicon_configuration.h"
#include "platform/pcm_buffer.h"
#include "platform/pcm_converter.h"
#include "services/speech/streaming_keep_alive_policy.h"
#include "services/speech/vellup_streaming_transcriber.h"
#include "support/clock.h"
#include "support/cross_thread_promise.h"
#include "support/http_transport.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <exception>
#include <memory>
#include <optional>
#include <variant>

class QWebSocket;

namespace tovalit {

class VellupStreamingSharedState;

// One recognition stream at a time, on the recogniser's own thread: it owns
// the WebSocket, the audio converter, the frame counters and the
// watchdogs, and settles the promises start() and finish() wait on. Every
// member is called on that thread only (the recogniser posts to it), so
// frames leave in the order their sequence numbers were taken.
//
// Each begin() starts a new run with a generation number; socket events
// and watchdogs of an earlier run never act on a later one.
class VellupStreamingSession : public QObject {
public:
    using StartupPromise = CrossThreadPromise<std::monostate>;
    using CompletionPromise = CrossThreadPromise<QString>;

    struct Connection {
        QUrl url;
        HttpHeaders headers;
    };

    VellupStreamingSession(std::optional<VellupSpeechLexiconConfiguration> lexiconConfiguration,
                           VellupStreamingTimings timings,
                           std::shared_ptr<VellupStreamingSharedState> shared,
                           MonotonicClock clock = systemMonotonicClock());
    ~VellupStreamingSession() override;

    // Opens the socket; the opening request goes out once it is connected.
    // `startup` settles with the service's first answer or the failure.
    void begin(quint64 generation, Connection connection, std::shared_ptr<StartupPromise> startup);
    void appendAudio(std::shared_ptr<const PcmBuffer> buffer);
    void finish(std::shared_ptr<CompletionPromise> completion);
    void cancel();

private:
    using Completion = std::variant<QString, std::exception_ptr>;

    void sendFullClientRequest();
    void handleBinaryMessage(const QByteArray &message);
    // A receive or send failure, a text message, an unreadable frame.
    void handleStreamFailure(std::exception_ptr error);
    void handleSocketError(QWebSocket *socket, QAbstractSocket::SocketError error);

    void resolveStartup(std::exception_ptr error);
    void resolveCompletion(Completion result);
    void resolveInterruptedCompletion(std::exception_ptr error);
    void emitPartial(const QString &text);
    void setLatestTranscript(const QString &text);

    bool acceptsAudio() const;
    QByteArray convertToPcmChunk(const PcmBuffer &buffer);
    QByteArray flushConverter();
    void sendFullFrames();
    void sendAudioFrame(const QByteArray &pcm, bool isFinal);
    void send(const QByteArray &frame, const std::exception_ptr &noConnectionError);
    void checkKeepAlive();
    void sendKeepAliveFrameIfNeeded();
    bool keepAliveDue() const;

    QWebSocket *takeSocket();
    void closeSocket(QWebSocket *socket, quint16 closeCode);
    double now() const { return m_clock(); }

    const std::optional<VellupSpeechLexiconConfiguration> m_lexiconConfiguration;
    const VellupStreamingTimings m_timings;
    const std::shared_ptr<VellupStreamingSharedState> m_shared;
    const MonotonicClock m_clock;
    const StreamingKeepAlivePolicy m_keepAlivePolicy;

    quint64 m_generation = 0;
    QWebSocket *m_socket = nullptr;
    std::optional<PcmFormat> m_converterInput;
    std::optional<PcmConverter> m_converter;
    QByteArray m_pendingAudioData;
    QString m_latestTranscript;
    std::shared_ptr<StartupPromise> m_startup;
    std::shared_ptr<CompletionPromise> m_completion;
    std::optional<Completion> m_pendingCompletionResult;
    bool m_hasReceivedStartupResponse = false;
    bool m_isFinishing = false;
    bool m_isClosed = false;
    double m_lastAudioPacketSentAt = 0;
    qint32 m_nextAudioSequence = 2;
    int m_audioPacketCount = 0;

    QTimer m_startupWatchdog;
    QTimer m_finalizationWatchdog;
    QTimer m_keepAliveTimer;
    quint64 m_startupWatchdogGeneration = 0;
    quint64 m_finalizationWatchdogGeneration = 0;
};

} // namespace tovalit
