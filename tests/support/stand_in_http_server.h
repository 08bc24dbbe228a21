#pragma once

#include "support/http_transport.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QUrl>

#include <deque>
#include <functional>
#include <vector>

class QTcpSocket;

namespace tovalit::testing {

class StandInWebSocketServer;

struct RecordedHttpRequest {
    QByteArray method;
    QByteArray target; // path with query, as sent
    HttpHeaders headers;
    QByteArray body;

    std::optional<QByteArray> header(QByteArrayView name) const;
    int headerCount(QByteArrayView name) const;
    QByteArray path() const; // target without the query
};

struct StandInHttpReply {
    enum class Behaviour {
        Answer,
        StaySilent,      // keep the connection open and never answer
        CloseConnection, // drop the TCP connection without a reply
    };
    Behaviour behaviour = Behaviour::Answer;
    int status = 200;
    HttpHeaders headers;
    QByteArray body;

    static StandInHttpReply json(int status, QByteArray body);
    static StandInHttpReply text(int status, QByteArray body);
    static StandInHttpReply silent();
    static StandInHttpReply dropped();
};

// A loopback HTTP/1.1 server a test starts for itself: it records every
// request (method, target, headers, body) and answers from a script, in
// order, then from the handler, else 404. Runs on the test thread's event
// loop, so the test must pump events (runTask does) while a client talks
// to it.
class StandInHttpServer : public QObject {
    Q_OBJECT
public:
    explicit StandInHttpServer(QObject *parent = nullptr);
    ~StandInHttpServer() override;

    quint16 port() const;
    QUrl url(const QString &pathAndQuery = QStringLiteral("/")) const;

    void enqueue(StandInHttpReply reply);
    void setHandler(std::function<StandInHttpReply(const RecordedHttpRequest &)> handler);

    // WebSocket upgrade requests go to `server` from now on (null: none),
    // so one address serves both, as the gateway does; they are not
    // recorded here.
    void forwardWebSocketUpgrades(StandInWebSocketServer *server);

    const std::vector<RecordedHttpRequest> &requests() const { return m_requests; }

Q_SIGNALS:
    void requestReceived();

private:
    void accept();
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const StandInHttpReply &reply);

    QTcpServer m_server;
    std::deque<StandInHttpReply> m_script;
    std::function<StandInHttpReply(const RecordedHttpRequest &)> m_handler;
    std::vector<RecordedHttpRequest> m_requests;
    QPointer<StandInWebSocketServer> m_webSocketServer;
};

} // namespace tovalit::testing
