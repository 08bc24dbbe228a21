#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonValue>
#include <QString>
#include <QtGlobal>

#include <optional>

// The binary frames of the streaming speech service. Every WebSocket
// message carries one frame: a 4-byte header, an optional big-endian
// sequence number, a big-endian payload size and the payload (JSON or raw
// PCM, optionally gzip). Pure functions, no state; failures throw
// VellupStreamingTranscriberError.
namespace tovalit::vellupstream {

// Header nibbles.
namespace messagetype {
constexpr quint8 fullClientRequest = 1;
constexpr quint8 audioOnlyRequest = 2;
constexpr quint8 fullServerResponse = 9;
constexpr quint8 serverAcknowledgement = 11;
constexpr quint8 serverError = 15;
} // namespace messagetype

namespace flags {
constexpr quint8 positiveSequence = 0x1;
// Announces a sequence field and marks the last frame.
constexpr quint8 lastPacket = 0x2;
constexpr quint8 negativeSequence = 0x3;
constexpr quint8 extraWord = 0x4;
} // namespace flags

namespace serialization {
constexpr quint8 none = 0;
constexpr quint8 json = 1;
} // namespace serialization

namespace compression {
constexpr quint8 none = 0;
constexpr quint8 gzip = 1;
} // namespace compression

// 100 ms of 16 kHz mono signed 16-bit little-endian PCM: the audio payload
// of one frame before compression.
constexpr qsizetype audioFrameBytes = 3200;

// A server payload never inflates past this; a larger one is treated as
// unreadable rather than filling memory.
constexpr qsizetype maximumInflatedPayloadBytes = 16 * 1024 * 1024;

// One frame: header, sequence when `flags` has bit 0x1 or 0x2, size,
// payload. Nibbles are masked to 4 bits. Throws invalidServerMessage for a
// payload of 4 GiB or more, which the size field cannot describe.
QByteArray buildVellupPacket(quint8 messageType, quint8 flags, quint8 serialization,
                             quint8 compression, qint32 sequence, QByteArrayView payload);

struct EncodedPayload {
    quint8 compression = compression::none;
    QByteArray bytes;
};

// Gzip when preferred and the payload is not empty; the bytes as they are
// (compression 0) otherwise or when compression fails. Never fails.
EncodedPayload encodeVellupPacketPayload(QByteArrayView payload, bool preferGzip);

// Gzip with a 15-bit window and memory level 9; empty in, empty out.
// Throw invalidServerMessage on any zlib failure, and the decoder also
// when the inflated payload would pass maximumInflatedPayloadBytes.
QByteArray gzipCompressVellupPayload(QByteArrayView bytes);
QByteArray decodeVellupGzipPayload(QByteArrayView bytes);
bool looksLikeGzip(QByteArrayView bytes);

// The client's three messages.
QByteArray fullClientRequestPacket(QByteArrayView requestJson);
QByteArray audioPacket(QByteArrayView pcm, qint32 sequence);
QByteArray finalAudioPacket(qint32 sequence);

// What one server frame says: the recognised text, if any, and whether it
// is the last answer of the stream.
struct ServerPacket {
    std::optional<QString> text;
    bool isFinal = false;

    bool operator==(const ServerPacket &) const = default;
};

// Nothing for a frame to be ignored (too short, truncated, unknown type).
// Throws unsupportedSerialization, unsupportedCompression, serverError
// (type 15) or invalidServerMessage (a gzip payload that cannot be read).
std::optional<ServerPacket> parseVellupServerPacket(QByteArrayView frame);

// Searches of a decoded answer, depth first.
std::optional<qint32> extractSequence(const QJsonValue &value);
std::optional<bool> isLastPackage(const QJsonValue &value);
std::optional<QString> extractTranscript(const QJsonValue &value);

QByteArray bigEndianBytes(quint32 value);
// Nothing unless `bytes` holds exactly 4 bytes.
std::optional<quint32> bigEndianValue(QByteArrayView bytes);

} // namespace tovalit::vellupstream
