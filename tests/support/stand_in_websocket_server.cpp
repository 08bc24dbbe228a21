#include "tests/support/stand_in_websocket_server.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QTcpSocket>

#include <gtest/gtest.h>
#include <stdexcept>

namespace tovalit::testing {

namespace {

constexpr quint8 opContinuation = 0x0;
constexpr quint8 opText = 0x1;
constexpr quint8 opBinary = 0x2;
constexpr quint8 opClose = 0x8;
constexpr quint8 opPing = 0x9;
constexpr quint8 opPong = 0xA;

} // namespace

std::optional<QByteArray> RecordedHandshake::header(QByteArrayView name) const {
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

StandInWebSocketServer::StandInWebSocketServer(QObject *parent)
    : QObject(parent) {
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("stand-in WebSocket server cannot listen");
    connect(&m_server, &QTcpServer::newConnection, this, &StandInWebSocketServer::accept);
}

StandInWebSocketServer::~StandInWebSocketServer() = default;

quint16 StandInWebSocketServer::port() const {
    return m_server.serverPort();
}

QUrl StandInWebSocketServer::url(const QString &path) const {
    return QUrl(QStringLiteral("ws://127.0.0.1:") + QString::number(port()) + path);
}

void StandInWebSocketServer::refuseHandshakes(int status, QByteArray body) {
    m_refusal = std::make_pair(status, std::move(body));
}

void StandInWebSocketServer::setMessageHandler(WebSocketMessageHandler handler) {
    m_handler = std::move(handler);
}

std::vector<QByteArray> StandInWebSocketServer::binaryMessages() const {
    std::vector<QByteArray> result;
    for (const auto &message : m_messages) {
        if (message.binary)
            result.push_back(message.payload);
    }
    return result;
}

bool StandInWebSocketServer::isConnected() const {
    return m_client && m_client->state() == QAbstractSocket::ConnectedState &&
           m_connections.at(m_client.data()).upgraded;
}

void StandInWebSocketServer::accept() {
    while (QTcpSocket *socket = m_server.nextPendingConnection())
        track(socket);
}

void StandInWebSocketServer::adoptConnection(QTcpSocket *socket, QByteArray received) {
    // Nothing of the previous owner may read from it any more.
    socket->disconnect();
    track(socket);
    m_connections.at(socket).buffer = std::move(received);
    readFrom(socket);
}

void StandInWebSocketServer::track(QTcpSocket *socket) {
    socket->setParent(this);
    m_connections[socket] = Connection{};
    connect(socket, &QObject::destroyed, this, [this, socket] { m_connections.erase(socket); });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (socket == m_client)
            Q_EMIT clientDisconnected();
        socket->deleteLater();
    });
}

void StandInWebSocketServer::readFrom(QTcpSocket *socket) {
    Connection &connection = m_connections.at(socket);
    connection.buffer += socket->readAll();
    if (!connection.upgraded && !readHandshake(socket, connection.buffer))
        return;
    readFrames(socket, connection.buffer);
}

bool StandInWebSocketServer::readHandshake(QTcpSocket *socket, QByteArray &buffer) {
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    RecordedHandshake handshake;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    handshake.target = lines.value(0).trimmed().split(' ').value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            handshake.headers.emplaceBack(line.left(colon), line.mid(colon + 1).trimmed());
    }
    buffer.remove(0, end + 4);
    m_handshakes.push_back(handshake);

    if (m_refusal) {
        const auto &[status, body] = *m_refusal;
        socket->write("HTTP/1.1 " + QByteArray::number(status) + " Refused\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
        return false;
    }
    const QByteArray key = handshake.header("Sec-WebSocket-Key").value_or(QByteArray());
    const QByteArray accept =
        QCryptographicHash::hash(QByteArray(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"),
                                 QCryptographicHash::Sha1)
            .toBase64();
    socket->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                  "Connection: Upgrade\r\nSec-WebSocket-Accept: " +
                  accept + "\r\n\r\n");
    m_connections.at(socket).upgraded = true;
    m_client = socket;
    ++m_connectionCount;
    Q_EMIT clientConnected();
    return true;
}

void StandInWebSocketServer::readFrames(QTcpSocket *socket, QByteArray &buffer) {
    Connection &connection = m_connections.at(socket);
    while (buffer.size() >= 2) {
        const auto *bytes = reinterpret_cast<const quint8 *>(buffer.constData());
        const bool final = bytes[0] & 0x80;
        const quint8 opcode = bytes[0] & 0x0F;
        const bool masked = bytes[1] & 0x80;
        quint64 length = bytes[1] & 0x7F;
        qsizetype offset = 2;
        if (length == 126) {
            if (buffer.size() < 4)
                return;
            length = (quint64(bytes[2]) << 8) | bytes[3];
            offset = 4;
        } else if (length == 127) {
            if (buffer.size() < 10)
                return;
            length = 0;
            for (int i = 0; i < 8; ++i)
                length = (length << 8) | bytes[2 + i];
            offset = 10;
        }
        if (!masked)
            ADD_FAILURE() << "a client frame without a mask";
        const qsizetype maskOffset = offset;
        if (masked)
            offset += 4;
        if (static_cast<quint64>(buffer.size()) < offset + length)
            return; // wait for the rest of the frame
        QByteArray payload = buffer.mid(offset, static_cast<qsizetype>(length));
        if (masked) {
            for (qsizetype i = 0; i < payload.size(); ++i)
                payload[i] = static_cast<char>(payload[i] ^ buffer[maskOffset + (i % 4)]);
        }
        buffer.remove(0, offset + static_cast<qsizetype>(length));

        switch (opcode) {
        case opText:
        case opBinary:
        case opContinuation: {
            if (opcode != opContinuation) {
                connection.fragmentBinary = opcode == opBinary;
                connection.fragments.clear();
            }
            connection.fragments += payload;
            if (final) {
                m_messages.push_back({connection.fragmentBinary, connection.fragments});
                connection.fragments.clear();
                Q_EMIT messageReceived();
                if (m_handler)
                    m_handler(m_messages.back(), *this);
            }
            break;
        }
        case opPing:
            socket->write(frame(opPong, payload));
            break;
        case opClose:
            if (payload.size() >= 2)
                m_clientCloseCode =
                    static_cast<quint16>((quint8(payload[0]) << 8) | quint8(payload[1]));
            socket->write(frame(opClose, payload.left(2)));
            socket->disconnectFromHost();
            return;
        default:
            break;
        }
    }
}

QByteArray StandInWebSocketServer::frame(quint8 opcode, const QByteArray &payload) {
    QByteArray bytes;
    bytes.append(static_cast<char>(0x80 | opcode));
    const auto length = static_cast<quint64>(payload.size());
    if (length < 126) {
        bytes.append(static_cast<char>(length));
    } else if (length <= 0xFFFF) {
        bytes.append(static_cast<char>(126));
        bytes.append(static_cast<char>(length >> 8));
        bytes.append(static_cast<char>(length & 0xFF));
    } else {
        bytes.append(static_cast<char>(127));
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes.append(static_cast<char>((length >> shift) & 0xFF));
    }
    return bytes + payload;
}

void StandInWebSocketServer::sendFrame(quint8 opcode, const QByteArray &payload) {
    if (!isConnected()) {
        ADD_FAILURE() << "the stand-in WebSocket server has no connected client";
        return;
    }
    m_client->write(frame(opcode, payload));
}

void StandInWebSocketServer::sendBinary(const QByteArray &payload) {
    sendFrame(opBinary, payload);
}

void StandInWebSocketServer::sendText(const QByteArray &utf8) {
    sendFrame(opText, utf8);
}

void StandInWebSocketServer::close(quint16 code, const QByteArray &reason) {
    QByteArray payload;
    payload.append(static_cast<char>(code >> 8));
    payload.append(static_cast<char>(code & 0xFF));
    sendFrame(opClose, payload + reason);
}

void StandInWebSocketServer::dropConnection() {
    if (m_client)
        m_client->abort();
}

} // namespace tovalit::testing
