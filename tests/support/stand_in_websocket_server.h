#pragma once

#include "support/http_transport.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <map>
#include <optional>
#include <vector>

class QTcpSocket;

namespace tovalit::testing {

struct RecordedWebSocketMessage {
    bool binary = true;
    QByteArray payload;
};

struct RecordedHandshake {
    QByteArray target;
    HttpHeaders headers;
    std::optional<QByteArray> header(QByteArrayView name) const;
};

class StandInWebSocketServer;
using WebSocketMessageHandler =
    std::function<void(const RecordedWebSocketMessage &, StandInWebSocketServer &)>;

// A loopback WebSocket server (RFC 6455, written on a plain TCP server so a
// test controls every byte): it records the handshake and every message
// the client sends, and can answer from a handler, send scripted frames,
// stay silent, refuse the handshake with an HTTP status, close properly or
// drop the TCP connection. One client at a time (the latest one). Runs on
// the test thread's event loop.
class StandInWebSocketServer : public QObject {
    Q_OBJECT
public:
    explicit StandInWebSocketServer(QObject *parent = nullptr);
    ~StandInWebSocketServer() override;

    quint16 port() const;
    QUrl url(const QString &path = QStringLiteral("/")) const;

    // Handshakes from now on are answered with this status and body.
    void refuseHandshakes(int status, QByteArray body = {});
    // Called for every complete message the client sends.
    void setMessageHandler(WebSocketMessageHandler handler);

    // Takes over a connection another stand-in accepted, with the bytes
    // read from it so far (a gateway answers its HTTP calls and its
    // streaming socket on one address).
    void adoptConnection(QTcpSocket *socket, QByteArray received);

    void sendBinary(const QByteArray &payload);
    void sendText(const QByteArray &utf8);
    void close(quint16 code, const QByteArray &reason = {});
    void dropConnection();

    bool isConnected() const;
    int connectionCount() const { return m_connectionCount; }
    const std::vector<RecordedHandshake> &handshakes() const { return m_handshakes; }
    const std::vector<RecordedWebSocketMessage> &messages() const { return m_messages; }
    std::vector<QByteArray> binaryMessages() const;
    // The status code of the close frame the client sent, if any.
    std::optional<quint16> clientCloseCode() const { return m_clientCloseCode; }

    // One frame on the wire, unmasked (server to client).
    static QByteArray frame(quint8 opcode, const QByteArray &payload);

Q_SIGNALS:
    void messageReceived();
    void clientConnected();
    void clientDisconnected();

private:
    struct Connection {
        QByteArray buffer;
        bool upgraded = false;
        bool fragmentBinary = true;
        QByteArray fragments;
    };

    void accept();
    void track(QTcpSocket *socket);
    void readFrom(QTcpSocket *socket);
    bool readHandshake(QTcpSocket *socket, QByteArray &buffer);
    void readFrames(QTcpSocket *socket, QByteArray &buffer);
    void sendFrame(quint8 opcode, const QByteArray &payload);

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    std::optional<std::pair<int, QByteArray>> m_refusal;
    WebSocketMessageHandler m_handler;
    std::vector<RecordedHandshake> m_handshakes;
    std::vector<RecordedWebSocketMessage> m_messages;
    std::optional<quint16> m_clientCloseCode;
    int m_connectionCount = 0;
    std::map<QTcpSocket *, Connection> m_connections;
};

} // namespace tovalit::testing
