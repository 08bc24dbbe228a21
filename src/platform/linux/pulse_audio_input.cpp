#include "platform/linux/pulse_audio_input.h"

#include "platform/linux/pulse_event_loop.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <pulse/pulseaudio.h>
#include <string>
#include <system_error>

namespace tovalit {

namespace {

// No call waits longer than this for the sound server: a server that hangs
// must not hang a recording start.
constexpr pa_usec_t operationTimeout = 5 * PA_USEC_PER_SEC;

[[noreturn]] void fail(AudioInputError::Kind kind, const QString &detail) {
    throw AudioInputError(kind, detail);
}

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A connection to the sound server with its own event thread. Everything
// that touches the context or a stream holds the loop's lock.
class PulseConnection {
public:
    explicit PulseConnection(const QString &applicationName) {
        try {
            m_loop = std::make_unique<PulseEventLoop>("tovalit-audio");
        } catch (const std::system_error &error) {
            fail(AudioInputError::Kind::ServerUnavailable, QString::fromUtf8(error.what()));
        }
        Lock lock(*this);
        m_context = pa_context_new(m_loop->api(), applicationName.toUtf8().constData());
        if (!m_context) {
            lock.release();
            shutDown();
            fail(AudioInputError::Kind::ServerUnavailable, QStringLiteral("out of memory"));
        }
        pa_context_set_state_callback(
            m_context,
            [](pa_context *, void *loop) { static_cast<PulseEventLoop *>(loop)->signal(); },
            m_loop.get());
        bool ready = false;
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            waitUntil([this] {
                const pa_context_state_t state = pa_context_get_state(m_context);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            });
            ready = pa_context_get_state(m_context) == PA_CONTEXT_READY;
        }
        if (!ready) {
            const QString detail = errorText();
            lock.release();
            shutDown();
            fail(AudioInputError::Kind::ServerUnavailable, detail);
        }
    }

    ~PulseConnection() { shutDown(); }

    PulseConnection(const PulseConnection &) = delete;
    PulseConnection &operator=(const PulseConnection &) = delete;

    PulseEventLoop &loop() const { return *m_loop; }
    pa_context *context() const { return m_context; }

    QString errorText() const {
        const int code = m_context ? pa_context_errno(m_context) : PA_ERR_CONNECTIONREFUSED;
        return QString::fromUtf8(pa_strerror(code == PA_OK ? PA_ERR_TIMEOUT : code));
    }

    class Lock {
    public:
        explicit Lock(PulseConnection &connection)
            : m_loop(connection.m_loop.get()) {
            m_loop->lock();
        }
        ~Lock() { release(); }
        void release() {
            if (m_loop)
                m_loop->unlock();
            m_loop = nullptr;
        }

    private:
        PulseEventLoop *m_loop;
    };

    // With the lock held: sleeps on the loop until `done()` holds or the
    // timeout passes. Every callback that changes what `done` reads signals
    // the loop.
    template <typename Done>
    bool waitUntil(Done done) {
        struct Timer {
            PulseEventLoop *loop;
            bool expired = false;
        } timer{m_loop.get(), false};
        pa_time_event *event = pa_context_rttime_new(
            m_context, pa_rtclock_now() + operationTimeout,
            [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *data) {
                auto *timer = static_cast<Timer *>(data);
                timer->expired = true;
                timer->loop->signal();
            },
            &timer);
        while (!done() && !timer.expired)
            m_loop->wait();
        if (event)
            m_loop->api()->time_free(event);
        return done();
    }

    // With the lock held: waits for an introspection operation whose
    // callback sets `finished`; cancelled (so its callback never runs
    // later) when it times out.
    bool await(pa_operation *operation, const bool &finished) {
        if (!operation)
            return false;
        const bool completed = waitUntil([&finished] { return finished; });
        if (!completed)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return completed;
    }

private:
    void shutDown() {
        if (!m_loop)
            return;
        m_loop->lock();
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
        m_loop->unlock();
        m_loop.reset();
    }

    std::unique_ptr<PulseEventLoop> m_loop;
    pa_context *m_context = nullptr;
};

struct DefaultSource {
    std::string name;
    pa_sample_spec sampleFormat{};
};

// The server's default source and its sample format; nothing when the server
// names none or the named source does not exist.
std::optional<DefaultSource> queryDefaultSource(PulseConnection &connection) {
    PulseConnection::Lock lock(connection);
    struct ServerAnswer {
        PulseEventLoop *loop;
        bool finished = false;
        std::string defaultSource;
    } server{&connection.loop(), false, {}};
    pa_operation *operation = pa_context_get_server_info(
        connection.context(),
        [](pa_context *, const pa_server_info *info, void *data) {
            auto *answer = static_cast<ServerAnswer *>(data);
            if (info && info->default_source_name)
                answer->defaultSource = info->default_source_name;
            answer->finished = true;
            answer->loop->signal();
        },
        &server);
    if (!connection.await(operation, server.finished))
        fail(AudioInputError::Kind::ServerUnavailable, connection.errorText());
    if (server.defaultSource.empty())
        return std::nullopt;

    struct SourceAnswer {
        PulseEventLoop *loop;
        bool finished = false;
        std::optional<pa_sample_spec> sampleFormat;
    } source{&connection.loop(), false, std::nullopt};
    operation = pa_context_get_source_info_by_name(
        connection.context(), server.defaultSource.c_str(),
        [](pa_context *, const pa_source_info *info, int endOfList, void *data) {
            auto *answer = static_cast<SourceAnswer *>(data);
            if (info && endOfList == 0)
                answer->sampleFormat = info->sample_spec;
            if (endOfList != 0) {
                answer->finished = true;
                answer->loop->signal();
            }
        },
        &source);
    if (!connection.await(operation, source.finished))
        fail(AudioInputError::Kind::ServerUnavailable, connection.errorText());
    if (!source.sampleFormat)
        return std::nullopt;
    return DefaultSource{server.defaultSource, *source.sampleFormat};
}

// Rates the AAC encoder accepts; a source running at any other rate is
// resampled by the server to 48 kHz, so the recording file always gets the
// rate of the buffers it is made of.
constexpr std::array<uint32_t, 12> encodableRates{8000,  11025, 12000, 16000, 22050, 24000,
                                                  32000, 44100, 48000, 64000, 88200, 96000};

PcmFormat formatFor(const pa_sample_spec &sampleFormat) {
    PcmFormat format;
    format.sampleRate = std::find(encodableRates.begin(), encodableRates.end(),
                                  sampleFormat.rate) != encodableRates.end()
                            ? double(sampleFormat.rate)
                            : 48000.0;
    // Dictation needs no surround: arrays with more channels are mixed down
    // to stereo by the server.
    format.channelCount = std::clamp(int(sampleFormat.channels), 1, 2);
    switch (sampleFormat.format) {
    case PA_SAMPLE_S16LE:
    case PA_SAMPLE_S16BE:
        format.sampleType = PcmSampleType::Int16;
        break;
    case PA_SAMPLE_S32LE:
    case PA_SAMPLE_S32BE:
        format.sampleType = PcmSampleType::Int32;
        break;
    default:
        format.sampleType = PcmSampleType::Float32;
        break;
    }
    format.interleaved = true;
    return format;
}

std::optional<pa_sample_format_t> sampleFormatFor(const PcmFormat &format) {
    if (!format.interleaved && format.channelCount > 1)
        return std::nullopt;
    switch (format.sampleType) {
    case PcmSampleType::Float32:
        return PA_SAMPLE_FLOAT32NE;
    case PcmSampleType::Int16:
        return PA_SAMPLE_S16NE;
    case PcmSampleType::Int32:
        return PA_SAMPLE_S32NE;
    case PcmSampleType::Float64:
    case PcmSampleType::Other:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

struct PulseAudioInput::Session {
    std::unique_ptr<PulseConnection> connection;
    pa_stream *stream = nullptr;
    BufferHandler handler;
    PcmBuffer buffer;
    qint64 framesDelivered = 0;

    Session(std::unique_ptr<PulseConnection> connection, BufferHandler handler,
            const PcmFormat &format, int framesPerBuffer)
        : connection(std::move(connection))
        , handler(std::move(handler))
        , buffer(format, framesPerBuffer) {}

    ~Session() {
        PulseConnection::Lock lock(*connection);
        if (stream) {
            pa_stream_set_read_callback(stream, nullptr, nullptr);
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
    }

    // On the connection's thread, lock held, for each packet the server
    // sends: once the packets waiting can fill the buffer being filled,
    // moves them into whole buffers and hands each to the handler.
    //
    // Packets may hold a few samples each; looking into every one would
    // cost more than the audio. Until the buffer can be filled the loop
    // only takes them in, and leaves the socket alone for as long as the
    // rest of the buffer takes to arrive.
    void drain() {
        const size_t frameBytes = size_t(buffer.format().bytesPerFrame());
        const size_t missingBytes =
            size_t(buffer.frameCapacity() - buffer.frameLength()) * frameBytes;
        const size_t readable = pa_stream_readable_size(stream);
        if (readable != size_t(-1) && readable < missingBytes) {
            holdOffFor(missingBytes - readable);
            return;
        }
        const void *data = nullptr;
        size_t available = 0;
        while (pa_stream_peek(stream, &data, &available) >= 0 && available > 0) {
            if (data) {
                const auto *bytes = static_cast<const std::byte *>(data);
                size_t offset = 0;
                while (offset + frameBytes <= available) {
                    const int room = buffer.frameCapacity() - buffer.frameLength();
                    const int frames =
                        int(std::min<size_t>(size_t(room), (available - offset) / frameBytes));
                    std::memcpy(buffer.data(0) + buffer.byteSize(0), bytes + offset,
                                size_t(frames) * frameBytes);
                    buffer.setFrameLength(buffer.frameLength() + frames);
                    offset += size_t(frames) * frameBytes;
                    if (buffer.frameLength() == buffer.frameCapacity())
                        deliver();
                }
            }
            // A hole (no data) means the server lost audio; there is nothing
            // to record for it.
            pa_stream_drop(stream);
        }
        holdOffFor(size_t(buffer.frameCapacity() - buffer.frameLength()) * frameBytes);
    }

    // Nothing to do before `missingBytes` more have come: the server's
    // packets wait in the socket until then.
    void holdOffFor(size_t missingBytes) {
        const double missingSeconds = double(missingBytes) /
                                      double(buffer.format().bytesPerFrame()) /
                                      buffer.format().sampleRate;
        connection->loop().holdOffUntil(PulseEventLoop::Clock::now() +
                                        std::chrono::duration_cast<PulseEventLoop::Clock::duration>(
                                            std::chrono::duration<double>(missingSeconds)));
    }

    void deliver() {
        const AudioTime time{framesDelivered, monotonicSeconds()};
        framesDelivered += buffer.frameLength();
        if (handler)
            handler(buffer, time);
        buffer.setFrameLength(0);
    }
};

PulseAudioInput::PulseAudioInput(QString applicationName)
    : m_applicationName(std::move(applicationName)) {}

PulseAudioInput::~PulseAudioInput() {
    stop();
}

bool PulseAudioInput::hasDefaultInputDevice() {
    try {
        PulseConnection connection(m_applicationName);
        return queryDefaultSource(connection).has_value();
    } catch (const AudioInputError &) {
        return false;
    }
}

PcmFormat PulseAudioInput::inputFormat() {
    PulseConnection connection(m_applicationName);
    const auto source = queryDefaultSource(connection);
    if (!source)
        fail(AudioInputError::Kind::NoInputDevice, {});
    return formatFor(source->sampleFormat);
}

void PulseAudioInput::start(const PcmFormat &format, int framesPerBuffer, BufferHandler handler) {
    if (m_session)
        fail(AudioInputError::Kind::StartFailed, QStringLiteral("already capturing"));
    const auto sampleFormat = sampleFormatFor(format);
    if (!sampleFormat || !format.isValid() || framesPerBuffer <= 0)
        fail(AudioInputError::Kind::StartFailed, QStringLiteral("unsupported format"));
    pa_sample_spec streamFormat{*sampleFormat, uint32_t(format.sampleRate),
                                uint8_t(format.channelCount)};
    if (!pa_sample_spec_valid(&streamFormat))
        fail(AudioInputError::Kind::StartFailed, QStringLiteral("unsupported format"));

    auto session = std::make_unique<Session>(std::make_unique<PulseConnection>(m_applicationName),
                                             std::move(handler), format, framesPerBuffer);
    PulseConnection &connection = *session->connection;
    {
        PulseConnection::Lock lock(connection);
        session->stream = pa_stream_new(connection.context(), "Dictation", &streamFormat, nullptr);
        if (!session->stream) {
            const QString detail = connection.errorText();
            lock.release();
            fail(AudioInputError::Kind::StartFailed, detail);
        }
        pa_stream_set_state_callback(
            session->stream,
            [](pa_stream *, void *loop) { static_cast<PulseEventLoop *>(loop)->signal(); },
            &connection.loop());
        pa_stream_set_read_callback(
            session->stream,
            [](pa_stream *, size_t, void *data) { static_cast<Session *>(data)->drain(); },
            session.get());
        // One fragment per buffer keeps the handler calls evenly paced
        // instead of bunched.
        pa_buffer_attr attributes;
        attributes.maxlength = uint32_t(-1);
        attributes.tlength = uint32_t(-1);
        attributes.prebuf = uint32_t(-1);
        attributes.minreq = uint32_t(-1);
        attributes.fragsize = uint32_t(framesPerBuffer * format.bytesPerFrame());
        bool ready = false;
        if (pa_stream_connect_record(session->stream, nullptr, &attributes,
                                     PA_STREAM_ADJUST_LATENCY) >= 0) {
            pa_stream *stream = session->stream;
            connection.waitUntil([stream] {
                const pa_stream_state_t state = pa_stream_get_state(stream);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            });
            ready = pa_stream_get_state(stream) == PA_STREAM_READY;
        }
        if (!ready) {
            const QString detail = connection.errorText();
            lock.release();
            fail(AudioInputError::Kind::StartFailed, detail);
        }
    }
    m_session = std::move(session);
}

void PulseAudioInput::stop() {
    // Tearing the session down disconnects the stream under the loop's
    // lock (so no read callback is mid-way) and then joins the loop's
    // thread.
    m_session.reset();
}

} // namespace tovalit
