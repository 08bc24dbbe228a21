#include "tests/support/stand_in_http_server.h"

#include "tests/support/stand_in_websocket_server.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <gtest/gtest.h>
#include <stdexcept>

namespace tovalit::testing {

namespace {

const char *reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 409:
        return "Conflict";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

std::optional<QByteArray> RecordedHttpRequest::header(QByteArrayView name) const {
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

int RecordedHttpRequest::headerCount(QByteArrayView name) const {
    int count = 0;
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            ++count;
    }
    return count;
}

QByteArray RecordedHttpRequest::path() const {
    const qsizetype query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
}

StandInHttpReply StandInHttpReply::json(int status, QByteArray body) {
    StandInHttpReply reply;
    reply.status = status;
    reply.headers.emplaceBack("Content-Type", "application/json");
    reply.body = std::move(body);
    return reply;
}

StandInHttpReply StandInHttpReply::text(int status, QByteArray body) {
    StandInHttpReply reply;
    reply.status = status;
    reply.headers.emplaceBack("Content-Type", "text/plain; charset=utf-8");
    reply.body = std::move(body);
    return reply;
}

StandInHttpReply StandInHttpReply::silent() {
    StandInHttpReply reply;
    reply.behaviour = Behaviour::StaySilent;
    return reply;
}

StandInHttpReply StandInHttpReply::dropped() {
    StandInHttpReply reply;
    reply.behaviour = Behaviour::CloseConnection;
    return reply;
}

StandInHttpServer::StandInHttpServer(QObject *parent)
    : QObject(parent) {
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("stand-in HTTP server cannot listen");
    connect(&m_server, &QTcpServer::newConnection, this, &StandInHttpServer::accept);
}

StandInHttpServer::~StandInHttpServer() = default;

quint16 StandInHttpServer::port() const {
    return m_server.serverPort();
}

QUrl StandInHttpServer::url(const QString &pathAndQuery) const {
    return QUrl(QStringLiteral("http://127.0.0.1:") + QString::number(port()) + pathAndQuery);
}

void StandInHttpServer::enqueue(StandInHttpReply reply) {
    m_script.push_back(std::move(reply));
}

void StandInHttpServer::setHandler(
    std::function<StandInHttpReply(const RecordedHttpRequest &)> handler) {
    m_handler = std::move(handler);
}

void StandInHttpServer::forwardWebSocketUpgrades(StandInWebSocketServer *server) {
    m_webSocketServer = server;
}

void StandInHttpServer::accept() {
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void StandInHttpServer::readFrom(QTcpSocket *socket) {
    QByteArray buffer = socket->property("standInBuffer").toByteArray() + socket->readAll();
    while (true) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            break;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        RecordedHttpRequest request;
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        qsizetype contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon);
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.emplaceBack(name, value);
            if (name.compare("content-length", Qt::CaseInsensitive) == 0)
                contentLength = value.toLongLong();
            if (name.compare("transfer-encoding", Qt::CaseInsensitive) == 0)
                ADD_FAILURE() << "the stand-in HTTP server does not read chunked bodies";
        }
        if (m_webSocketServer && request.header("Upgrade")
                                         .value_or(QByteArray())
                                         .compare("websocket", Qt::CaseInsensitive) == 0) {
            // The socket is the WebSocket server's from here on.
            m_webSocketServer->adoptConnection(socket, buffer);
            return;
        }
        const qsizetype bodyStart = headerEnd + 4;
        if (buffer.size() < bodyStart + contentLength)
            break; // wait for the rest of the body
        request.body = buffer.mid(bodyStart, contentLength);
        buffer.remove(0, bodyStart + contentLength);

        m_requests.push_back(request);
        StandInHttpReply reply;
        if (!m_script.empty()) {
            reply = std::move(m_script.front());
            m_script.pop_front();
        } else if (m_handler) {
            reply = m_handler(request);
        } else {
            reply = StandInHttpReply::text(404, "no scripted reply");
        }
        Q_EMIT requestReceived();
        answer(socket, reply);
        if (reply.behaviour != StandInHttpReply::Behaviour::Answer)
            break;
    }
    socket->setProperty("standInBuffer", buffer);
}

void StandInHttpServer::answer(QTcpSocket *socket, const StandInHttpReply &reply) {
    switch (reply.behaviour) {
    case StandInHttpReply::Behaviour::StaySilent:
        return;
    case StandInHttpReply::Behaviour::CloseConnection:
        socket->abort();
        return;
    case StandInHttpReply::Behaviour::Answer:
        break;
    }
    QByteArray bytes =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto &[name, value] : reply.headers)
        bytes += name + ": " + value + "\r\n";
    bytes += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    bytes += "Connection: close\r\n\r\n";
    bytes += reply.body;
    socket->write(bytes);
    socket->disconnectFromHost();
}

} // namespace tovalit::testing
