#include "support/network_http_transport.h"
#include "tests/support/run_task.h"
#include "tests/support/stand_in_http_server.h"
#include "tests/support/stand_in_websocket_server.h"

#include <QNetworkRequest>
#include <QWebSocket>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

// The stand-in speaks the protocol a real client expects: these checks use
// Qt's own WebSocket client against it.
TEST(StandInWebSocketServerTest, RecordsTheHandshakeAndMessagesAndAnswersFromItsHandler) {
    StandInWebSocketServer server;
    server.setMessageHandler([](const RecordedWebSocketMessage &message, auto &self) {
        self.sendBinary("echo:" + message.payload);
    });
    QWebSocket client;
    QByteArray received;
    QObject::connect(&client, &QWebSocket::binaryMessageReceived,
                     [&received](const QByteArray &bytes) { received = bytes; });
    QNetworkRequest request(server.url(QStringLiteral("/ws/asr")));
    request.setRawHeader("Authorization", "Bearer token");
    client.open(request);
    // The server counts the handshake once it sent its answer; the client
    // drops what it is asked to send until it has read that answer.
    ASSERT_TRUE(waitUntil(
        [&] { return server.isConnected() && client.state() == QAbstractSocket::ConnectedState; },
        "the handshake"));
    ASSERT_EQ(server.handshakes().size(), 1u);
    EXPECT_EQ(server.handshakes()[0].target, "/ws/asr");
    EXPECT_EQ(server.handshakes()[0].header("authorization"), "Bearer token");

    const QByteArray large(70'000, 'x'); // takes the 64-bit length form
    client.sendBinaryMessage(large);
    client.sendTextMessage(QStringLiteral("你好"));
    ASSERT_TRUE(waitUntil([&] { return server.messages().size() == 2; }, "two messages"));
    EXPECT_EQ(server.messages()[0].payload, large);
    EXPECT_FALSE(server.messages()[1].binary);
    EXPECT_EQ(server.messages()[1].payload, QStringLiteral("你好").toUtf8());
    ASSERT_TRUE(waitUntil([&] { return received.startsWith("echo:"); }, "the echo"));

    client.close(QWebSocketProtocol::CloseCodeGoingAway);
    ASSERT_TRUE(waitUntil([&] { return server.clientCloseCode().has_value(); }, "the close"));
    EXPECT_EQ(*server.clientCloseCode(), 1001);
}

TEST(StandInWebSocketServerTest, RefusesHandshakesAndDropsConnectionsOnRequest) {
    StandInWebSocketServer server;
    server.refuseHandshakes(401, R"({"message":"invalid_token"})");
    QWebSocket refused;
    bool refusedClosed = false;
    QObject::connect(&refused, &QWebSocket::disconnected, [&] { refusedClosed = true; });
    refused.open(server.url());
    ASSERT_TRUE(waitUntil([&] { return refusedClosed; }, "the refused handshake"));
    EXPECT_FALSE(server.isConnected());

    StandInWebSocketServer dropping;
    QWebSocket client;
    bool disconnected = false;
    QObject::connect(&client, &QWebSocket::disconnected, [&] { disconnected = true; });
    client.open(dropping.url());
    ASSERT_TRUE(waitUntil([&] { return dropping.isConnected(); }, "the handshake"));
    dropping.dropConnection();
    EXPECT_TRUE(waitUntil([&] { return disconnected; }, "the dropped connection"));
}

// The gateway answers its HTTP calls and its streaming socket on one
// address: upgrades go to the WebSocket stand-in, everything else stays
// with the HTTP one, before and after.
TEST(StandInWebSocketServerTest, SharesOneAddressWithTheHttpStandIn) {
    StandInHttpServer http;
    StandInWebSocketServer webSocket;
    http.forwardWebSocketUpgrades(&webSocket);
    http.setHandler([](const RecordedHttpRequest &request) {
        return StandInHttpReply::text(200, "answered " + request.path());
    });
    webSocket.setMessageHandler([](const RecordedWebSocketMessage &message, auto &self) {
        self.sendBinary("echo:" + message.payload);
    });
    NetworkHttpTransport transport;
    const auto get = [&](const QString &path) {
        HttpRequest request;
        request.url = http.url(path);
        return runTask(transport.send(request)).body;
    };
    EXPECT_EQ(get(QStringLiteral("/api/client/register")), "answered /api/client/register");

    QWebSocket client;
    QByteArray received;
    QObject::connect(&client, &QWebSocket::binaryMessageReceived,
                     [&received](const QByteArray &bytes) { received = bytes; });
    QUrl socketURL = http.url(QStringLiteral("/ws/asr"));
    socketURL.setScheme(QStringLiteral("ws"));
    client.open(socketURL);
    ASSERT_TRUE(waitUntil(
        [&] {
            return webSocket.isConnected() && client.state() == QAbstractSocket::ConnectedState;
        },
        "the handshake"));
    ASSERT_EQ(webSocket.handshakes().size(), 1u);
    EXPECT_EQ(webSocket.handshakes()[0].target, "/ws/asr");
    client.sendBinaryMessage("frame");
    ASSERT_TRUE(waitUntil([&] { return received == "echo:frame"; }, "the echo"));

    EXPECT_EQ(get(QStringLiteral("/api/proxy/format")), "answered /api/proxy/format");
    ASSERT_EQ(http.requests().size(), 2u) << "the upgrade is not an HTTP request of its own";
    EXPECT_TRUE(webSocket.isConnected());
}

} // namespace
} // namespace tovalit::testing
