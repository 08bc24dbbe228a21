#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>

#include <optional>
#include <zlib.h>

// The stand-in service's side of the frame format, written apart from the
// client's code so a mistake there is not mirrored here.
namespace tovalit::testing {

// Whole-buffer gunzip; nothing when the bytes are not one gzip stream.
inline std::optional<QByteArray> gunzip(const QByteArray &bytes) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    stream.avail_in = uInt(bytes.size());
    QByteArray out;
    int status = Z_OK;
    while (status == Z_OK) {
        char chunk[4096];
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk, qsizetype(sizeof chunk - stream.avail_out));
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END)
        return std::nullopt;
    return out;
}

inline QByteArray gzip(const QByteArray &bytes) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(bytes.size()))) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

inline quint32 readBigEndian(const QByteArray &bytes, qsizetype at) {
    const auto *b = reinterpret_cast<const uchar *>(bytes.constData() + at);
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | b[3];
}

inline QByteArray bigEndian(quint32 value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(value >> (24 - 8 * i));
    return bytes;
}

// A client frame as the service reads it.
struct ClientFrame {
    QByteArray header; // the four header bytes
    quint8 messageType = 0;
    quint8 flags = 0;
    quint8 compression = 0;
    std::optional<qint32> sequence;
    quint32 declaredSize = 0;
    QByteArray payload; // as sent
    // The payload uncompressed (nothing when it claims gzip and is not).
    std::optional<QByteArray> body() const {
        return compression == 1 ? gunzip(payload) : std::optional(payload);
    }
    QJsonObject json() const { return QJsonDocument::fromJson(body().value_or("")).object(); }
};

// Nothing when the frame is malformed: wrong first byte, short, or a size
// that disagrees with the bytes that follow.
inline std::optional<ClientFrame> readClientFrame(const QByteArray &bytes) {
    if (bytes.size() < 8 || quint8(bytes[0]) != 0x11)
        return std::nullopt;
    ClientFrame frame;
    frame.header = bytes.left(4);
    frame.messageType = quint8(bytes[1]) >> 4;
    frame.flags = quint8(bytes[1]) & 0x0F;
    frame.compression = quint8(bytes[2]) & 0x0F;
    qsizetype at = 4;
    if (frame.flags & 0x3) {
        frame.sequence = qint32(readBigEndian(bytes, at));
        at += 4;
    }
    if (bytes.size() < at + 4)
        return std::nullopt;
    frame.declaredSize = readBigEndian(bytes, at);
    at += 4;
    if (quint64(bytes.size() - at) != frame.declaredSize)
        return std::nullopt;
    frame.payload = bytes.mid(at);
    return frame;
}

// A server frame; `sequence` is written when given (set the flags to match).
inline QByteArray serverFrame(quint8 messageType, quint8 flags, quint8 serialization,
                              quint8 compression, std::optional<qint32> sequence,
                              const QByteArray &payload, bool withSize = true) {
    QByteArray frame;
    frame.append(char(0x11));
    frame.append(char((messageType << 4) | flags));
    frame.append(char((serialization << 4) | compression));
    frame.append(char(0));
    if (sequence)
        frame += bigEndian(quint32(*sequence));
    if (withSize)
        frame += bigEndian(quint32(payload.size()));
    return frame + payload;
}

// A full server response (type 9, JSON, gzip) carrying `text`.
inline QByteArray textResponse(const QString &text, qint32 sequence, bool last = false) {
    const QJsonObject body{{QStringLiteral("result"), QJsonObject{{QStringLiteral("text"), text}}}};
    return serverFrame(9, last ? 0x3 : 0x1, 1, 1, sequence,
                       gzip(QJsonDocument(body).toJson(QJsonDocument::Compact)));
}

// An acknowledgement (type 11) with a sequence and no payload.
inline QByteArray acknowledgement(qint32 sequence) {
    return serverFrame(11, 0x1, 0, 0, sequence, {}, false);
}

} // namespace tovalit::testing
