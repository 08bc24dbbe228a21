#include "services/speech/vellup_streaming_session.h"

#include "platform/audio_file_error.h"
#include "services/speech/vellup_streaming_protocol.h"
#include "services/speech/vellup_streaming_request.h"
#include "services/speech/vellup_streaming_shared_state.h"
#include "services/speech/vellup_streaming_transcriber_error.h"
#include "support/gui_thread.h"
#include "support/json_text.h"
#include "support/textkit.h"
#include "support/uuid_text.h"

#include <QNetworkRequest>
#include <QWebSocket>

#include <stdexcept>

namespace tovalit {

namespace {

using Error = VellupStreamingTranscriberError;

// How long a closing socket may take to finish the close handshake before
// it is dropped.
constexpr int closeGracePeriodMs = 2000;

const PcmFormat &targetFormat() {
    static const PcmFormat format{16000, 1, PcmSampleType::Int16, true};
    return format;
}

std::exception_ptr notConnected(QString detail) {
    return std::make_exception_ptr(
        HttpTransportError(HttpTransportError::Kind::NotConnected, std::move(detail)));
}

QString describe(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &exception) {
        return describeException(exception);
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

// Qt reports a refused upgrade only through its error text ("Unhandled http
// status code: 401 (Unauthorized)."); the status is what recovery needs.
std::optional<int> refusedHandshakeStatus(const QString &errorText) {
    static const QLatin1String marker("status code: ");
    const qsizetype at = errorText.indexOf(marker);
    if (at < 0)
        return std::nullopt;
    qsizetype end = at + marker.size();
    while (end < errorText.size() && errorText[end].isDigit())
        ++end;
    bool ok = false;
    const int status = errorText.mid(at + marker.size(), end - at - marker.size()).toInt(&ok);
    return ok ? std::optional(status) : std::nullopt;
}

QByteArray bytesOf(const PcmBuffer &buffer) {
    return QByteArray(reinterpret_cast<const char *>(buffer.data(0)), buffer.byteSize(0));
}

void settle(CrossThreadPromise<QString> &promise,
            const std::variant<QString, std::exception_ptr> &result) {
    if (const auto *text = std::get_if<QString>(&result))
        promise.resolve(*text);
    else
        promise.fail(std::get<std::exception_ptr>(result));
}

} // namespace

VellupStreamingSession::VellupStreamingSession(
    std::optional<VellupSpeechLexiconConfiguration> lexiconConfiguration,
    VellupStreamingTimings timings, std::shared_ptr<VellupStreamingSharedState> shared,
    MonotonicClock clock)
    : m_lexiconConfiguration(std::move(lexiconConfiguration))
    , m_timings(timings)
    , m_shared(std::move(shared))
    , m_clock(std::move(clock))
    , m_keepAlivePolicy{std::chrono::duration<double>(timings.keepAliveInterval).count()}
    , m_startupWatchdog(this)
    , m_finalizationWatchdog(this)
    , m_keepAliveTimer(this) {
    m_startupWatchdog.setSingleShot(true);
    m_finalizationWatchdog.setSingleShot(true);
    connect(&m_startupWatchdog, &QTimer::timeout, this, [this] {
        if (m_startupWatchdogGeneration == m_generation)
            resolveStartup(std::make_exception_ptr(Error::connectionTimedOut()));
    });
    connect(&m_finalizationWatchdog, &QTimer::timeout, this, [this] {
        if (m_finalizationWatchdogGeneration == m_generation)
            resolveCompletion(std::make_exception_ptr(
                Error::finalizationTimedOut(textkit::trimmed(m_latestTranscript))));
    });
    connect(&m_keepAliveTimer, &QTimer::timeout, this, &VellupStreamingSession::checkKeepAlive);
}

VellupStreamingSession::~VellupStreamingSession() {
    if (QWebSocket *socket = takeSocket())
        socket->abort();
}

void VellupStreamingSession::begin(quint64 generation, Connection connection,
                                   std::shared_ptr<StartupPromise> startup) {
    cancel();
    m_generation = generation;
    m_startup = std::move(startup);
    m_completion.reset();
    m_pendingCompletionResult.reset();
    m_pendingAudioData.clear();
    m_converter.reset();
    m_converterInput.reset();
    setLatestTranscript(QString());
    m_hasReceivedStartupResponse = false;
    m_isFinishing = false;
    m_isClosed = false;
    m_lastAudioPacketSentAt = now();
    m_nextAudioSequence = 2;
    m_audioPacketCount = 0;

    auto *socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    m_socket = socket;
    // Every handler first checks that its socket is still the current one:
    // a socket being closed belongs to a run that is over.
    connect(socket, &QWebSocket::connected, this, [this, socket] {
        if (socket == m_socket)
            sendFullClientRequest();
    });
    connect(socket, &QWebSocket::binaryMessageReceived, this,
            [this, socket](const QByteArray &message) {
                if (socket == m_socket)
                    handleBinaryMessage(message);
            });
    connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString &text) {
        if (socket == m_socket)
            handleStreamFailure(std::make_exception_ptr(Error::connectionClosed(text)));
    });
    connect(socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
            [this, socket](QAbstractSocket::SocketError error) {
                if (socket == m_socket)
                    handleSocketError(socket, error);
            });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        if (socket != m_socket)
            return;
        QString detail = QStringLiteral("the server closed the connection");
        if (socket->closeCode() != QWebSocketProtocol::CloseCodeNormal ||
            !socket->closeReason().isEmpty())
            detail += QStringLiteral(": ") + QString::number(socket->closeCode()) + u' ' +
                      socket->closeReason();
        handleStreamFailure(notConnected(detail.trimmed()));
    });

    m_startupWatchdogGeneration = generation;
    m_startupWatchdog.start(m_timings.startupTimeout);
    m_keepAliveTimer.start(m_timings.keepAliveCheckInterval);

    QNetworkRequest request(connection.url);
    for (const auto &[name, value] : connection.headers)
        request.setRawHeader(name, value);
    socket->open(request);
}

void VellupStreamingSession::sendFullClientRequest() {
    const QJsonObject payload = vellupstream::initialRequestPayload(
        uuidtext::newLower(), m_lexiconConfiguration, vellupstream::localHostDisplayName());
    QByteArray frame;
    try {
        frame = vellupstream::fullClientRequestPacket(json::compact(payload));
    } catch (...) {
        resolveStartup(std::current_exception());
        return;
    }
    send(frame, std::make_exception_ptr(Error::connectionTimedOut()));
}

void VellupStreamingSession::handleBinaryMessage(const QByteArray &message) {
    std::optional<vellupstream::ServerPacket> packet;
    try {
        packet = vellupstream::parseVellupServerPacket(message);
    } catch (...) {
        handleStreamFailure(std::current_exception());
        return;
    }
    if (!packet)
        return;
    if (!m_hasReceivedStartupResponse) {
        m_hasReceivedStartupResponse = true;
        resolveStartup(nullptr);
    }
    if (packet->text && !packet->text->isEmpty()) {
        setLatestTranscript(*packet->text);
        emitPartial(*packet->text);
    }
    if (packet->isFinal && m_isFinishing)
        resolveCompletion(textkit::trimmed(m_latestTranscript));
}

void VellupStreamingSession::handleStreamFailure(std::exception_ptr error) {
    resolveStartup(error);
    resolveInterruptedCompletion(error);
}

void VellupStreamingSession::handleSocketError(QWebSocket *socket,
                                               QAbstractSocket::SocketError error) {
    const QString text = socket->errorString();
    if (const auto status = refusedHandshakeStatus(text)) {
        // An unauthorised upgrade means the gateway no longer knows the
        // session token; say so in the words the recovery looks for.
        const QString reason = (*status == 401 || *status == 403)
                                   ? QStringLiteral("invalid_token, HTTP ")
                                   : QStringLiteral("handshake refused, HTTP ");
        handleStreamFailure(notConnected(reason + QString::number(*status)));
        return;
    }
    using Kind = HttpTransportError::Kind;
    Kind kind = Kind::NotConnected;
    if (error == QAbstractSocket::HostNotFoundError)
        kind = Kind::HostNotFound;
    else if (error == QAbstractSocket::SslHandshakeFailedError)
        kind = Kind::SecureConnectionFailed;
    handleStreamFailure(std::make_exception_ptr(HttpTransportError(kind, text)));
}

void VellupStreamingSession::resolveStartup(std::exception_ptr error) {
    m_startupWatchdog.stop();
    const std::shared_ptr<StartupPromise> startup = std::exchange(m_startup, {});
    if (!startup)
        return;
    const bool settled = error ? startup->fail(error) : startup->resolve({});
    if (!settled || !error)
        return;
    // Nobody streams into a session whose start failed: do not leave its
    // socket and keep-alive running until someone remembers to cancel, and
    // let a finish() that comes anyway fail at once with the same error.
    m_finalizationWatchdog.stop();
    m_keepAliveTimer.stop();
    m_isClosed = true;
    if (!m_completion && !m_pendingCompletionResult)
        m_pendingCompletionResult = error;
    closeSocket(takeSocket(), QWebSocketProtocol::CloseCodeGoingAway);
}

void VellupStreamingSession::resolveCompletion(Completion result) {
    m_finalizationWatchdog.stop();
    m_keepAliveTimer.stop();
    const std::shared_ptr<CompletionPromise> completion = std::exchange(m_completion, {});
    QWebSocket *socket = takeSocket();
    m_isClosed = true;
    if (!completion)
        m_pendingCompletionResult = result;
    closeSocket(socket, QWebSocketProtocol::CloseCodeNormal);
    if (completion)
        settle(*completion, result);
}

void VellupStreamingSession::resolveInterruptedCompletion(std::exception_ptr error) {
    if (const auto callback = m_shared->onInterruption())
        callback(error);
    const QString partialText = textkit::trimmed(m_latestTranscript);
    if (partialText.isEmpty()) {
        resolveCompletion(error);
        return;
    }
    resolveCompletion(
        std::make_exception_ptr(Error::streamInterrupted(partialText, describe(error))));
}

void VellupStreamingSession::emitPartial(const QString &text) {
    if (!m_shared->onPartial())
        return;
    // The callback is looked up again on the GUI thread: the recogniser may
    // be gone by then, and with it the controller's interest.
    postToGuiThread([shared = std::weak_ptr(m_shared), text] {
        if (const auto state = shared.lock()) {
            if (const auto callback = state->onPartial())
                callback(text);
        }
    });
}

void VellupStreamingSession::setLatestTranscript(const QString &text) {
    m_latestTranscript = text;
    m_shared->setLatestTranscript(text);
}

bool VellupStreamingSession::acceptsAudio() const {
    return m_socket && !m_isClosed && !m_pendingCompletionResult;
}

void VellupStreamingSession::appendAudio(std::shared_ptr<const PcmBuffer> buffer) {
    if (!acceptsAudio() || !buffer)
        return;
    QByteArray pcm;
    try {
        pcm = convertToPcmChunk(*buffer);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        resolveStartup(error);
        resolveCompletion(error);
        return;
    }
    if (pcm.isEmpty())
        return;
    m_pendingAudioData += pcm;
    sendFullFrames();
}

QByteArray VellupStreamingSession::convertToPcmChunk(const PcmBuffer &buffer) {
    // One converter for the whole stream: the resampler's filter carries
    // over from buffer to buffer, so seams stay clean. A change of input
    // format hands over the old converter's tail first.
    QByteArray tail;
    if (m_converterInput != buffer.format()) {
        tail = flushConverter();
        m_converter.reset();
        m_converterInput = buffer.format();
        if (buffer.format() != targetFormat()) {
            try {
                m_converter.emplace(buffer.format(), targetFormat());
            } catch (const AudioFileError &) {
                m_converterInput.reset();
                throw Error::unsupportedAudioFormat();
            }
        }
    }
    if (!m_converter)
        return tail + bytesOf(buffer);
    return tail + bytesOf(m_converter->convert(buffer));
}

QByteArray VellupStreamingSession::flushConverter() {
    return m_converter ? bytesOf(m_converter->flush()) : QByteArray();
}

void VellupStreamingSession::sendFullFrames() {
    using vellupstream::audioFrameBytes;
    qsizetype offset = 0;
    while (m_pendingAudioData.size() - offset >= audioFrameBytes && !m_isClosed) {
        sendAudioFrame(m_pendingAudioData.sliced(offset, audioFrameBytes), false);
        offset += audioFrameBytes;
    }
    // A failed send may have closed the session and cleared the buffer.
    m_pendingAudioData.remove(0, std::min(offset, m_pendingAudioData.size()));
}

void VellupStreamingSession::sendAudioFrame(const QByteArray &pcm, bool isFinal) {
    QByteArray frame;
    if (isFinal) {
        frame = vellupstream::finalAudioPacket(m_audioPacketCount > 0 ? -m_nextAudioSequence : -1);
    } else {
        m_lastAudioPacketSentAt = now();
        ++m_audioPacketCount;
        frame = vellupstream::audioPacket(pcm, m_nextAudioSequence++);
    }
    send(frame, std::make_exception_ptr(Error::invalidServerMessage()));
}

void VellupStreamingSession::send(const QByteArray &frame,
                                  const std::exception_ptr &noConnectionError) {
    if (m_socket) {
        if (m_socket->state() == QAbstractSocket::ConnectedState &&
            m_socket->sendBinaryMessage(frame) == frame.size())
            return;
        handleStreamFailure(notConnected(QStringLiteral("a frame could not be sent")));
        return;
    }
    if (!m_pendingCompletionResult && !m_isClosed) {
        resolveStartup(noConnectionError);
        resolveCompletion(noConnectionError);
    }
}

bool VellupStreamingSession::keepAliveDue() const {
    return m_keepAlivePolicy.shouldSendKeepAlive(m_hasReceivedStartupResponse, m_isFinishing,
                                                 m_isClosed, m_lastAudioPacketSentAt, now());
}

void VellupStreamingSession::checkKeepAlive() {
    if (keepAliveDue())
        sendKeepAliveFrameIfNeeded();
    if (m_isClosed || !m_socket)
        m_keepAliveTimer.stop();
}

void VellupStreamingSession::sendKeepAliveFrameIfNeeded() {
    if (!acceptsAudio() || !keepAliveDue())
        return;
    QByteArray chunk = std::exchange(m_pendingAudioData, {});
    if (chunk.size() < vellupstream::audioFrameBytes)
        chunk.append(vellupstream::audioFrameBytes - chunk.size(), '\0');
    sendAudioFrame(chunk, false);
}

void VellupStreamingSession::finish(std::shared_ptr<CompletionPromise> completion) {
    m_isFinishing = true;
    if (m_pendingCompletionResult) {
        settle(*completion, *std::exchange(m_pendingCompletionResult, std::nullopt));
        return;
    }
    m_completion = std::move(completion);
    m_finalizationWatchdogGeneration = m_generation;
    m_finalizationWatchdog.start(m_timings.finalizationTimeout);

    if (acceptsAudio()) {
        try {
            m_pendingAudioData += flushConverter();
        } catch (...) {
            const std::exception_ptr error = std::current_exception();
            resolveStartup(error);
            resolveCompletion(error);
            return;
        }
        sendFullFrames();
        const QByteArray rest = std::exchange(m_pendingAudioData, {});
        if (!rest.isEmpty() && acceptsAudio())
            sendAudioFrame(rest, false);
    }
    sendAudioFrame({}, true);
}

void VellupStreamingSession::cancel() {
    m_startupWatchdog.stop();
    m_finalizationWatchdog.stop();
    m_keepAliveTimer.stop();
    QWebSocket *socket = takeSocket();
    m_pendingAudioData.clear();
    m_pendingCompletionResult.reset();
    m_converter.reset();
    m_converterInput.reset();
    m_hasReceivedStartupResponse = false;
    m_isFinishing = false;
    m_isClosed = true;
    const std::shared_ptr<StartupPromise> startup = std::exchange(m_startup, {});
    const std::shared_ptr<CompletionPromise> completion = std::exchange(m_completion, {});
    closeSocket(socket, QWebSocketProtocol::CloseCodeGoingAway);
    if (startup)
        startup->fail(std::make_exception_ptr(Error::connectionClosed(QStringLiteral("已取消"))));
    if (completion)
        completion->resolve(m_latestTranscript);
}

QWebSocket *VellupStreamingSession::takeSocket() {
    return std::exchange(m_socket, nullptr);
}

void VellupStreamingSession::closeSocket(QWebSocket *socket, quint16 closeCode) {
    if (!socket)
        return;
    socket->disconnect(this);
    // Only a healthy open socket gets a close handshake; writing a close
    // frame into one that has failed or never opened only draws warnings.
    if (socket->state() != QAbstractSocket::ConnectedState ||
        socket->error() != QAbstractSocket::UnknownSocketError) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(closeGracePeriodMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->close(QWebSocketProtocol::CloseCode(closeCode));
}

} // namespace tovalit
