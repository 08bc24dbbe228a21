#include "services/speech/vellup_streaming_transcriber.h"

#include "services/speech/vellup_streaming_session.h"
#include "services/speech/vellup_streaming_shared_state.h"
#include "services/speech/vellup_streaming_transcriber_error.h"
#include "support/http_transport.h"
#include "support/uuid_text.h"

#include <QThread>

namespace tovalit {

namespace {

using Error = VellupStreamingTranscriberError;

std::chrono::milliseconds scaledDuration(std::chrono::milliseconds duration, double factor) {
    return std::chrono::milliseconds(qint64(double(duration.count()) * factor));
}

} // namespace

VellupStreamingTimings VellupStreamingTimings::scaled(double factor) const {
    return {scaledDuration(startupTimeout, factor), scaledDuration(finalizationTimeout, factor),
            scaledDuration(keepAliveInterval, factor),
            scaledDuration(keepAliveCheckInterval, factor)};
}

// The streaming thread and the session living on it.
struct VellupStreamingTranscriber::Runtime {
    QThread thread;
    VellupStreamingSession *session = nullptr;

    Runtime(std::optional<VellupSpeechLexiconConfiguration> lexiconConfiguration,
            VellupStreamingTimings timings, std::shared_ptr<VellupStreamingSharedState> shared,
            MonotonicClock clock) {
        session = new VellupStreamingSession(std::move(lexiconConfiguration), timings,
                                             std::move(shared), std::move(clock));
        session->moveToThread(&thread);
        thread.setObjectName(QStringLiteral("tovalit-asr"));
        thread.start();
    }

    ~Runtime() {
        // Deleted on its own thread: the socket and timers must be torn
        // down where they live. Deferred deletes still run as the thread
        // finishes.
        session->deleteLater();
        thread.quit();
        thread.wait();
    }

    template <typename Function>
    void post(Function function) {
        QMetaObject::invokeMethod(session, std::move(function), Qt::QueuedConnection);
    }
};

VellupStreamingTranscriber::VellupStreamingTranscriber(
    VellupSpeechConfiguration configuration,
    std::optional<VellupSpeechLexiconConfiguration> lexiconConfiguration,
    VellupStreamingTimings timings, std::optional<QUrl> directEndpoint, MonotonicClock clock)
    : m_configuration(std::move(configuration))
    , m_lexiconConfiguration(std::move(lexiconConfiguration))
    , m_directEndpoint(std::move(directEndpoint))
    , m_shared(std::make_shared<VellupStreamingSharedState>())
    , m_runtime(
          std::make_unique<Runtime>(m_lexiconConfiguration, timings, m_shared, std::move(clock))) {}

VellupStreamingTranscriber::~VellupStreamingTranscriber() {
    cancel();
    m_shared->setOnPartial({});
    m_shared->setOnInterruption({});
    if (QThread::currentThread() == &m_runtime->thread) {
        // Released from our own interruption callback: a thread cannot wait
        // for itself, so the GUI thread stops it. Reset in the call itself:
        // the posted function may be destroyed back on this thread.
        postToGuiThread([runtime = std::make_shared<std::unique_ptr<Runtime>>(
                             std::move(m_runtime))] { runtime->reset(); });
    }
}

void VellupStreamingTranscriber::setOnPartial(PartialCallback callback) {
    m_shared->setOnPartial(std::move(callback));
}

void VellupStreamingTranscriber::setOnInterruption(InterruptionCallback callback) {
    m_shared->setOnInterruption(std::move(callback));
}

QString VellupStreamingTranscriber::engineName() const {
    return QStringLiteral("Vellup流式 ASR 2.0");
}

QUrl VellupStreamingTranscriber::endpointURL() {
    // Fixed when the program is built (see TOVALIT_SPEECH_STREAM_ENDPOINT).
    static const QUrl url(QStringLiteral(TOVALIT_SPEECH_STREAM_ENDPOINT));
    return url;
}

std::optional<QUrl> VellupStreamingTranscriber::gatewayWebSocketURL(const QUrl &baseURL) {
    QUrl url;
    url.setScheme(baseURL.scheme().compare(u"https", Qt::CaseInsensitive) == 0
                      ? QStringLiteral("wss")
                      : QStringLiteral("ws"));
    url.setHost(baseURL.host());
    url.setPort(baseURL.port());
    if (baseURL.hasQuery())
        url.setQuery(baseURL.query(QUrl::FullyEncoded), QUrl::TolerantMode);
    QStringList segments = baseURL.path(QUrl::FullyEncoded).split(u'/', Qt::SkipEmptyParts);
    segments << QStringLiteral("ws") << QStringLiteral("asr");
    url.setPath(u'/' + segments.join(u'/'), QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return url;
}

QCoro::Task<void> VellupStreamingTranscriber::start() {
    cancel();

    VellupStreamingSession::Connection connection;
    if (m_configuration.usesGateway()) {
        const std::optional<QUrl> url = gatewayWebSocketURL(*m_configuration.gatewayBaseURL);
        if (!url)
            throw Error::invalidEndpoint();
        connection.url = *url;
        connection.headers.append(
            {"Authorization", "Bearer " + m_configuration.gatewaySessionToken->toUtf8()});
    } else {
        if (m_configuration.appID.isEmpty() || m_configuration.accessToken.isEmpty() ||
            m_configuration.resourceID.isEmpty())
            throw Error::missingCredentials();
        if (!m_directEndpoint || !m_directEndpoint->isValid() || m_directEndpoint->host().isEmpty())
            throw Error::invalidEndpoint();
        connection.url = *m_directEndpoint;
        const QByteArray connectID = uuidtext::newLower().toUtf8();
        connection.headers = {
            {"X-Api-App-Key", m_configuration.appID.toUtf8()},
            {"X-Api-Access-Key", m_configuration.accessToken.toUtf8()},
            {"X-Api-Resource-Id", m_configuration.resourceID.toUtf8()},
            {"X-Api-Request-Id", connectID},
            {"X-Api-Connect-Id", connectID},
        };
    }
    // A credential pasted with a line break would otherwise add headers of
    // its own to the handshake.
    for (const auto &[name, value] : connection.headers) {
        if (value.contains('\r') || value.contains('\n'))
            throw HttpTransportError(HttpTransportError::Kind::InvalidRequest,
                                     QStringLiteral("header with a line break: ") +
                                         QString::fromLatin1(name));
    }

    const auto startup = std::make_shared<StartupPromise>();
    m_startup = startup;
    const quint64 generation = ++m_generation;
    m_runtime->post([session = m_runtime->session, generation, connection, startup] {
        session->begin(generation, connection, startup);
    });
    // Nothing of `this` is touched after the wait: the recogniser may be
    // gone by the time the answer comes.
    co_await *startup;
}

void VellupStreamingTranscriber::append(const PcmBuffer &buffer) {
    std::shared_ptr<const PcmBuffer> copy = PCMBufferSnapshot::makeOwnedCopy(buffer);
    if (!copy)
        return; // no memory for a copy, and the buffer itself is reused after this call
    m_runtime->post(
        [session = m_runtime->session, copy = std::move(copy)] { session->appendAudio(copy); });
}

QCoro::Task<QString> VellupStreamingTranscriber::finish() {
    const auto completion = std::make_shared<CompletionPromise>();
    m_completion = completion;
    m_runtime->post([session = m_runtime->session, completion] { session->finish(completion); });
    co_return co_await *completion;
}

void VellupStreamingTranscriber::cancel() {
    // Settled here rather than on the streaming thread so a waiting caller
    // is released at once, even while that thread is busy or stopping.
    if (const auto startup = std::exchange(m_startup, {}))
        startup->fail(std::make_exception_ptr(Error::connectionClosed(QStringLiteral("已取消"))));
    if (const auto completion = std::exchange(m_completion, {}))
        completion->resolve(m_shared->latestTranscript());
    if (m_runtime)
        m_runtime->post([session = m_runtime->session] { session->cancel(); });
}

} // namespace tovalit
