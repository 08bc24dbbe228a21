#include "services/speech/vellup_streaming_protocol.h"

#include "services/speech/vellup_streaming_transcriber_error.h"
#include "support/json_text.h"
#include "support/textkit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>
#include <zlib.h>

namespace tovalit::vellupstream {

namespace {

constexpr int gzipWindowBits = 31; // 15-bit window, gzip wrapper
constexpr int memoryLevel = 9;
constexpr qsizetype chunkBytes = 16384;

// One gzip compressor per thread, reset for every payload: setting one up
// allocates and clears some 400 KiB, which would cost as much as
// compressing a 100 ms frame. A reset stream writes exactly the bytes a
// fresh one would.
class ThreadCompressor {
public:
    ThreadCompressor() = default;
    ThreadCompressor(const ThreadCompressor &) = delete;
    ThreadCompressor &operator=(const ThreadCompressor &) = delete;
    ~ThreadCompressor() {
        if (m_ready)
            deflateEnd(&m_stream);
    }

    // A stream ready for a new payload, or nothing when zlib cannot set one
    // up.
    z_stream *fresh() {
        if (!m_ready) {
            m_stream = z_stream{};
            m_ready = deflateInit2(&m_stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzipWindowBits,
                                   memoryLevel, Z_DEFAULT_STRATEGY) == Z_OK;
            return m_ready ? &m_stream : nullptr;
        }
        return deflateReset(&m_stream) == Z_OK ? &m_stream : nullptr;
    }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

enum class InflateOutcome { inflated, unreadable, tooLarge };

struct Inflated {
    InflateOutcome outcome = InflateOutcome::unreadable;
    QByteArray bytes;
};

Inflated inflateGzip(QByteArrayView input) {
    if (input.isEmpty())
        return {InflateOutcome::inflated, {}};
    if (quint64(input.size()) > std::numeric_limits<uInt>::max())
        return {};
    z_stream stream{};
    if (inflateInit2(&stream, gzipWindowBits) != Z_OK)
        return {};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.data()));
    stream.avail_in = uInt(input.size());

    Inflated result;
    for (;;) {
        const qsizetype produced = result.bytes.size();
        if (produced >= maximumInflatedPayloadBytes) {
            // Only a stream that still has output to give is too large; one
            // that ends exactly at the limit is fine.
            char probe = 0;
            stream.next_out = reinterpret_cast<Bytef *>(&probe);
            stream.avail_out = 1;
            const int status = inflate(&stream, Z_SYNC_FLUSH);
            if (stream.avail_out == 0)
                result = {InflateOutcome::tooLarge, {}};
            else if (status == Z_STREAM_END)
                result.outcome = InflateOutcome::inflated;
            else
                result = {};
            break;
        }
        const qsizetype room = std::min(chunkBytes, maximumInflatedPayloadBytes - produced);
        result.bytes.resize(produced + room);
        stream.next_out = reinterpret_cast<Bytef *>(result.bytes.data() + produced);
        stream.avail_out = uInt(room);
        const int status = inflate(&stream, Z_SYNC_FLUSH);
        result.bytes.resize(produced + room - qsizetype(stream.avail_out));
        if (status == Z_STREAM_END) {
            result.outcome = InflateOutcome::inflated;
            break;
        }
        if (status != Z_OK) {
            result = {};
            break;
        }
    }
    inflateEnd(&stream);
    return result;
}

std::optional<QString> nonEmptyTrimmed(const QJsonValue &value) {
    if (!value.isString())
        return std::nullopt;
    QString text = textkit::trimmed(value.toString());
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

bool isArrayOfObjects(const QJsonArray &array) {
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            return false;
    }
    return true;
}

template <typename T, typename Search>
std::optional<T> searchChildren(const QJsonValue &value, Search search) {
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (auto found = search(it.value()))
                return found;
        }
    } else if (value.isArray()) {
        for (const QJsonValue &element : value.toArray()) {
            if (auto found = search(element))
                return found;
        }
    }
    return std::nullopt;
}

std::optional<qint32> asInt32(const QJsonValue &value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (std::trunc(number) != number || number < std::numeric_limits<qint32>::min() ||
        number > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(number);
}

quint32 readUInt32(const char *bytes) {
    const auto *b = reinterpret_cast<const uchar *>(bytes);
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

void appendUInt32(QByteArray &bytes, quint32 value) {
    bytes.append(char(value >> 24));
    bytes.append(char(value >> 16));
    bytes.append(char(value >> 8));
    bytes.append(char(value));
}

} // namespace

QByteArray bigEndianBytes(quint32 value) {
    QByteArray bytes;
    bytes.reserve(4);
    appendUInt32(bytes, value);
    return bytes;
}

std::optional<quint32> bigEndianValue(QByteArrayView bytes) {
    if (bytes.size() != 4)
        return std::nullopt;
    return readUInt32(bytes.data());
}

QByteArray buildVellupPacket(quint8 messageType, quint8 flags, quint8 serialization,
                             quint8 compression, qint32 sequence, QByteArrayView payload) {
    if (quint64(payload.size()) > std::numeric_limits<quint32>::max())
        throw VellupStreamingTranscriberError::invalidServerMessage();
    flags &= 0x0F;
    const bool hasSequence = flags & (flags::positiveSequence | flags::lastPacket);
    QByteArray frame;
    frame.reserve(4 + (hasSequence ? 4 : 0) + 4 + payload.size());
    frame.append(char(0x11));
    frame.append(char(((messageType & 0x0F) << 4) | flags));
    frame.append(char(((serialization & 0x0F) << 4) | (compression & 0x0F)));
    frame.append(char(0));
    if (hasSequence)
        appendUInt32(frame, quint32(sequence));
    appendUInt32(frame, quint32(payload.size()));
    frame.append(payload.data(), payload.size());
    return frame;
}

EncodedPayload encodeVellupPacketPayload(QByteArrayView payload, bool preferGzip) {
    if (preferGzip && !payload.isEmpty()) {
        try {
            return {compression::gzip, gzipCompressVellupPayload(payload)};
        } catch (const VellupStreamingTranscriberError &) {
            // Sent uncompressed; the header says so.
        }
    }
    return {compression::none, payload.toByteArray()};
}

QByteArray gzipCompressVellupPayload(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return {};
    if (quint64(bytes.size()) > std::numeric_limits<uInt>::max())
        throw VellupStreamingTranscriberError::invalidServerMessage();
    thread_local ThreadCompressor compressor;
    z_stream *stream = compressor.fresh();
    if (!stream)
        throw VellupStreamingTranscriberError::invalidServerMessage();
    stream->next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    stream->avail_in = uInt(bytes.size());

    QByteArray result;
    int status = Z_OK;
    do {
        const qsizetype produced = result.size();
        result.resize(produced + chunkBytes);
        stream->next_out = reinterpret_cast<Bytef *>(result.data() + produced);
        stream->avail_out = uInt(chunkBytes);
        status = deflate(stream, Z_FINISH);
        result.resize(produced + chunkBytes - qsizetype(stream->avail_out));
    } while (status == Z_OK);
    stream->next_in = nullptr; // the caller's bytes are not ours to keep
    if (status != Z_STREAM_END)
        throw VellupStreamingTranscriberError::invalidServerMessage();
    return result;
}

QByteArray decodeVellupGzipPayload(QByteArrayView bytes) {
    Inflated inflated = inflateGzip(bytes);
    if (inflated.outcome != InflateOutcome::inflated)
        throw VellupStreamingTranscriberError::invalidServerMessage();
    return std::move(inflated.bytes);
}

bool looksLikeGzip(QByteArrayView bytes) {
    return bytes.size() >= 2 && uchar(bytes[0]) == 0x1F && uchar(bytes[1]) == 0x8B;
}

QByteArray fullClientRequestPacket(QByteArrayView requestJson) {
    const EncodedPayload encoded = encodeVellupPacketPayload(requestJson, true);
    return buildVellupPacket(messagetype::fullClientRequest, flags::positiveSequence,
                             serialization::json, encoded.compression, 1, encoded.bytes);
}

QByteArray audioPacket(QByteArrayView pcm, qint32 sequence) {
    const EncodedPayload encoded = encodeVellupPacketPayload(pcm, true);
    return buildVellupPacket(messagetype::audioOnlyRequest, flags::positiveSequence,
                             serialization::none, encoded.compression, sequence, encoded.bytes);
}

QByteArray finalAudioPacket(qint32 sequence) {
    return buildVellupPacket(messagetype::audioOnlyRequest, flags::negativeSequence,
                             serialization::none, compression::none, sequence, {});
}

std::optional<ServerPacket> parseVellupServerPacket(QByteArrayView frame) {
    // Offsets in 64 bits: a size field near 4 GiB must not wrap past the end.
    const qint64 length = frame.size();
    const char *bytes = frame.data();
    if (length < 8)
        return std::nullopt;
    const quint8 headerUnits = uchar(bytes[0]) & 0x0F;
    const qint64 headerSize = headerUnits == 0 ? 4 : qint64(headerUnits) * 4;
    if (length < headerSize)
        return std::nullopt;
    const quint8 messageType = uchar(bytes[1]) >> 4;
    if (messageType != messagetype::fullServerResponse &&
        messageType != messagetype::serverAcknowledgement &&
        messageType != messagetype::serverError)
        return std::nullopt;
    const quint8 packetFlags = uchar(bytes[1]) & 0x0F;
    const quint8 serializationKind = uchar(bytes[2]) >> 4;
    if (serializationKind != serialization::none && serializationKind != serialization::json)
        throw VellupStreamingTranscriberError::unsupportedSerialization(serializationKind);
    const quint8 compressionKind = uchar(bytes[2]) & 0x0F;

    qint64 position = headerSize;
    const auto remaining = [&] { return length - position; };
    std::optional<qint32> headerSequence;
    if (packetFlags & (flags::positiveSequence | flags::lastPacket)) {
        if (remaining() < 4)
            return std::nullopt;
        headerSequence = qint32(readUInt32(bytes + position));
        position += 4;
    }
    if (packetFlags & flags::extraWord) {
        if (remaining() < 4)
            return std::nullopt;
        position += 4;
    }

    QByteArrayView payload;
    switch (messageType) {
    case messagetype::fullServerResponse: {
        if (remaining() < 4)
            return std::nullopt;
        const qint64 size = readUInt32(bytes + position);
        position += 4;
        if (size > remaining())
            return std::nullopt;
        payload = frame.sliced(position, size);
        break;
    }
    case messagetype::serverAcknowledgement:
        payload = frame.sliced(position);
        break;
    default: { // server error
        if (remaining() < 8)
            return std::nullopt;
        const qint64 size = readUInt32(bytes + position + 4);
        position += 8;
        if (size > remaining())
            return std::nullopt;
        payload = frame.sliced(position, size);
        break;
    }
    }

    QByteArray decoded;
    if (compressionKind == compression::none) {
        decoded = payload.toByteArray();
    } else if (compressionKind == compression::gzip) {
        Inflated inflated = inflateGzip(payload);
        if (inflated.outcome == InflateOutcome::tooLarge)
            throw VellupStreamingTranscriberError::invalidServerMessage();
        // A payload marked gzip that is not gzip is read as it came.
        decoded = inflated.outcome == InflateOutcome::inflated ? std::move(inflated.bytes)
                                                               : payload.toByteArray();
    } else if (looksLikeGzip(payload)) {
        decoded = decodeVellupGzipPayload(payload);
    } else {
        throw VellupStreamingTranscriberError::unsupportedCompression(compressionKind);
    }

    if (messageType == messagetype::serverError) {
        QString message = textkit::decodeUtf8Strict(decoded).value_or(QStringLiteral("未知错误"));
        throw VellupStreamingTranscriberError::serverError(0, std::move(message));
    }

    const bool lastByFlags = packetFlags & flags::lastPacket;
    if (decoded.isEmpty())
        return ServerPacket{std::nullopt, lastByFlags || headerSequence.value_or(0) < 0};

    QJsonParseError parseError;
    const QJsonDocument document = json::parse(decoded, &parseError);
    if (parseError.error != QJsonParseError::NoError ||
        (!document.isObject() && !document.isArray())) {
        if (auto text = textkit::decodeUtf8Strict(decoded))
            return ServerPacket{textkit::trimmed(*text), false};
        return ServerPacket{std::nullopt, false};
    }
    const QJsonValue json =
        document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    bool isFinal = lastByFlags;
    if (!isFinal && isLastPackage(json).value_or(false))
        isFinal = true;
    if (!isFinal) {
        const std::optional<qint32> sequence = extractSequence(json);
        isFinal = sequence ? *sequence < 0 : headerSequence.value_or(0) < 0;
    }
    return ServerPacket{extractTranscript(json), isFinal};
}

std::optional<qint32> extractSequence(const QJsonValue &value) {
    if (value.isDouble())
        return asInt32(value);
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        const auto found = object.constFind(QLatin1String("sequence"));
        if (found != object.constEnd())
            return asInt32(found.value());
    }
    return searchChildren<qint32>(value, extractSequence);
}

std::optional<bool> isLastPackage(const QJsonValue &value) {
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        const auto found = object.constFind(QLatin1String("is_last_package"));
        if (found != object.constEnd()) {
            if (found.value().isBool())
                return found.value().toBool();
            if (found.value().isDouble())
                return found.value().toDouble() != 0;
            return std::nullopt;
        }
    }
    return searchChildren<bool>(value, isLastPackage);
}

std::optional<QString> extractTranscript(const QJsonValue &value) {
    if (value.isArray())
        return searchChildren<QString>(value, extractTranscript);
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue result = object.value(QLatin1String("result"));
    if (result.isObject()) {
        const QJsonObject resultObject = result.toObject();
        if (auto text = nonEmptyTrimmed(resultObject.value(QLatin1String("text"))))
            return text;
        const QJsonValue utterances = resultObject.value(QLatin1String("utterances"));
        if (utterances.isArray() && isArrayOfObjects(utterances.toArray())) {
            QString joined;
            for (const QJsonValue &utterance : utterances.toArray()) {
                const QJsonValue text = utterance.toObject().value(QLatin1String("text"));
                if (text.isString())
                    joined += text.toString();
            }
            if (auto text = nonEmptyTrimmed(joined))
                return text;
        }
    } else if (result.isArray()) {
        const QJsonArray results = result.toArray();
        if (!results.isEmpty() && isArrayOfObjects(results)) {
            if (auto text =
                    nonEmptyTrimmed(results.first().toObject().value(QLatin1String("text"))))
                return text;
        }
    }
    return searchChildren<QString>(value, extractTranscript);
}

} // namespace tovalit::vellupstream
