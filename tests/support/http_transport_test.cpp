#include "support/network_http_transport.h"
#include "tests/support/run_task.h"
#include "tests/support/stand_in_http_server.h"

#include <QTcpServer>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::runTask;
using testing::StandInHttpReply;
using testing::StandInHttpServer;

HttpRequest post(const QUrl &url, QByteArray body) {
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers = {{"Content-Type", "application/json"}, {"Authorization", "Bearer k"}};
    request.body = std::move(body);
    return request;
}

HttpTransportError::Kind failureKind(NetworkHttpTransport &transport, HttpRequest request) {
    try {
        runTask(transport.send(std::move(request)));
    } catch (const HttpTransportError &error) {
        return error.kind();
    }
    ADD_FAILURE() << "the request did not fail";
    return HttpTransportError::Kind::Other;
}

TEST(NetworkHttpTransportTest, SendsMethodHeadersAndBodyAndReadsTheReply) {
    StandInHttpServer server;
    StandInHttpReply reply = StandInHttpReply::json(200, R"({"ok":true})");
    reply.headers.emplaceBack("X-Request-Id", "abc");
    server.enqueue(reply);
    NetworkHttpTransport transport;

    const HttpResponse response =
        runTask(transport.send(post(server.url(QStringLiteral("/api/x?y=1")), "{\"你\":1}")));
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, R"({"ok":true})");
    EXPECT_EQ(response.header("x-request-id"), "abc");

    ASSERT_EQ(server.requests().size(), 1u);
    const auto &request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/x?y=1");
    EXPECT_EQ(request.header("authorization"), "Bearer k");
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.body, "{\"你\":1}");
}

TEST(NetworkHttpTransportTest, ErrorStatusesAreRepliesWithTheirBodies) {
    StandInHttpServer server;
    server.enqueue(StandInHttpReply::json(401, R"({"message":"invalid_token"})"));
    server.enqueue(StandInHttpReply::text(500, ""));
    server.enqueue(StandInHttpReply::text(502, "\xff\xfe"));
    NetworkHttpTransport transport;

    HttpResponse unauthorized = runTask(transport.send(post(server.url(), "{}")));
    EXPECT_EQ(unauthorized.status, 401);
    EXPECT_EQ(unauthorized.body, R"({"message":"invalid_token"})");
    EXPECT_FALSE(unauthorized.isSuccess());
    EXPECT_EQ(runTask(transport.send(post(server.url(), "{}"))).status, 500);
    HttpResponse badGateway = runTask(transport.send(post(server.url(), "{}")));
    EXPECT_EQ(badGateway.status, 502);
    EXPECT_EQ(badGateway.body, "\xff\xfe");
}

TEST(NetworkHttpTransportTest, SilenceTimesOutAndRefusedOrDroppedConnectionsAreNotConnected) {
    StandInHttpServer server;
    NetworkHttpTransport transport;

    server.enqueue(StandInHttpReply::silent());
    HttpRequest slow = post(server.url(), "{}");
    slow.timeout = std::chrono::milliseconds(300);
    EXPECT_EQ(failureKind(transport, slow), HttpTransportError::Kind::TimedOut);

    // Qt resends a request once when the connection closes before any reply,
    // so the server drops every attempt.
    server.setHandler([](const auto &) { return StandInHttpReply::dropped(); });
    EXPECT_EQ(failureKind(transport, post(server.url(), "{}")),
              HttpTransportError::Kind::NotConnected);

    // A port nobody listens on: take one, then free it.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    const QUrl refused(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort));
    try {
        runTask(transport.send(post(refused, "{}")));
        ADD_FAILURE() << "a refused connection must fail";
    } catch (const HttpTransportError &error) {
        EXPECT_EQ(error.kind(), HttpTransportError::Kind::NotConnected);
        EXPECT_TRUE(error.localizedDescription().contains(u"Socket is not connected"))
            << error.localizedDescription().toStdString();
    }
}

TEST(NetworkHttpTransportTest, RefusesHeadersWithLineBreaksAndNonHttpUrlsBeforeSending) {
    StandInHttpServer server;
    NetworkHttpTransport transport;
    HttpRequest injected = post(server.url(), "{}");
    injected.headers.emplaceBack("Authorization", "Bearer key\r\nX-Evil: 1");
    EXPECT_EQ(failureKind(transport, injected), HttpTransportError::Kind::InvalidRequest);
    HttpRequest fileUrl = post(QUrl(QStringLiteral("file:///etc/passwd")), {});
    EXPECT_EQ(failureKind(transport, fileUrl), HttpTransportError::Kind::InvalidRequest);
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
} // namespace tovalit
