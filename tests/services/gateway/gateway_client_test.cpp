#include "services/gateway/gateway_client.h"
#include "services/gateway/gateway_client_error.h"
#include "services/gateway/gateway_url.h"
#include "support/json_text.h"
#include "support/network_http_transport.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/stand_in_http_server.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::runTask;
using testing::StandInHttpReply;

const QByteArray sessionReply = R"({"session":{"sessionId":"s1","deviceId":"d1","accessToken":"a1",
    "accessTokenExpiresAt":"2026-12-07T10:00:00Z","refreshToken":"r1",
    "refreshTokenExpiresAt":"2027-01-07T10:00:00+08:00","scope":"all"},"server":"x"})";

GatewayRegistrationRequest registration() {
    return {QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"),
            QStringLiteral("Tovalit"),
            QStringLiteral("macOS"),
            QStringLiteral("Debian GNU/Linux 12"),
            QStringLiteral("1.0.0"),
            QStringLiteral("1"),
            QStringLiteral("zh-CN")};
}

class GatewayClientTest : public ::testing::Test {
protected:
    GatewayClient clientAt(const QString &path) {
        return GatewayClient(server.url(path), transport);
    }

    GatewayClientError failureFor(StandInHttpReply reply) {
        server.enqueue(std::move(reply));
        try {
            runTask(clientAt(QStringLiteral("/")).registerDevice(registration()));
        } catch (const GatewayClientError &error) {
            return error;
        }
        ADD_FAILURE() << "expected a gateway error";
        return GatewayClientError::invalidBaseURL();
    }

    testing::StandInHttpServer server;
    std::shared_ptr<NetworkHttpTransport> transport = std::make_shared<NetworkHttpTransport>();
};

TEST_F(GatewayClientTest, RegistrationPostsTheOrderedBodyBelowThePrefix) {
    for (const QString &prefix : {QStringLiteral("/gw"), QStringLiteral("/gw/")}) {
        server.enqueue(StandInHttpReply::json(200, sessionReply));
        const GatewaySession session = runTask(clientAt(prefix).registerDevice(registration()));
        EXPECT_EQ(session.sessionID, QStringLiteral("s1"));
        EXPECT_EQ(session.refreshTokenExpiresAt,
                  QDateTime(QDate(2027, 1, 7), QTime(2, 0), Qt::UTC));

        const auto &request = server.requests().back();
        EXPECT_EQ(request.method, QByteArray("POST"));
        EXPECT_EQ(request.target, QByteArray("/gw/api/client/register")) << prefix.toStdString();
        EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json; charset=utf-8"));
        EXPECT_FALSE(request.header("Authorization"));
        EXPECT_EQ(
            request.body,
            QByteArray(
                R"({"deviceId":"0f8fad5b-d9cb-469f-a165-70867728950e","product":"Tovalit",)"
                R"("platform":"macOS","platformVersion":"Debian GNU/Linux 12","appVersion":"1.0.0",)"
                R"("buildNumber":"1","locale":"zh-CN"})"));
    }
}

TEST_F(GatewayClientTest, RefreshPostsItsOwnBody) {
    server.enqueue(StandInHttpReply::json(201, sessionReply));
    runTask(clientAt(QStringLiteral("/"))
                .refreshSession({QStringLiteral("r0"), QStringLiteral("2.0"), QStringLiteral("7"),
                                 QStringLiteral("en-US"), QStringLiteral("v")}));
    EXPECT_EQ(server.requests().back().target, QByteArray("/api/client/refresh"));
    EXPECT_EQ(
        server.requests().back().body,
        QByteArray(
            R"({"refreshToken":"r0","appVersion":"2.0","buildNumber":"7","locale":"en-US","platformVersion":"v"})"));
}

TEST_F(GatewayClientTest, UndecodableSuccessfulRepliesAreInvalidResponses) {
    const QByteArray fractional = QByteArray(sessionReply).replace("10:00:00Z", "10:00:00.250Z");
    const QByteArray missingKey = QByteArray(sessionReply).replace("\"refreshToken\":\"r1\",", "");
    const QByteArray wrongType = QByteArray(sessionReply).replace("\"a1\"", "7");
    for (const QByteArray &body :
         {fractional, missingKey, wrongType, QByteArray("{}"), QByteArray("[]"),
          QByteArray("<html/>"), QByteArray(R"({"session":null})")}) {
        const GatewayClientError error = failureFor(StandInHttpReply::json(200, body));
        EXPECT_EQ(error.kind(), GatewayClientError::Kind::invalidResponse) << body.constData();
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("网关返回了无法解析的数据。"));
    }
    EXPECT_EQ(failureFor(StandInHttpReply::text(204, {})).kind(),
              GatewayClientError::Kind::invalidResponse);
}

TEST_F(GatewayClientTest, FailedRepliesCarryStatusAndServerMessage) {
    const GatewayClientError expired = failureFor(
        StandInHttpReply::json(401, R"({"message":"  invalid_token: expired","code":1})"));
    EXPECT_EQ(expired.kind(), GatewayClientError::Kind::requestFailed);
    EXPECT_EQ(expired.status(), 401);
    EXPECT_EQ(expired.message(), QStringLiteral("  invalid_token: expired"));
    EXPECT_EQ(expired.localizedDescription(),
              QStringLiteral("网关请求失败（401）：  invalid_token: expired"));

    EXPECT_EQ(failureFor(StandInHttpReply::text(500, {})).localizedDescription(),
              QStringLiteral("网关请求失败（500）：未知错误"));
    EXPECT_EQ(failureFor(StandInHttpReply::text(502, "\n  <html>Bad gateway</html>\r\n")).message(),
              QStringLiteral("<html>Bad gateway</html>"));
    EXPECT_EQ(failureFor(StandInHttpReply::json(400, R"({"message":null})")).message(),
              QStringLiteral(R"({"message":null})"));
    EXPECT_EQ(failureFor(StandInHttpReply::json(400, R"({"message":5})")).message(),
              QStringLiteral(R"({"message":5})"));
    EXPECT_EQ(failureFor(StandInHttpReply::json(400, R"({"message":" \n"})")).message(),
              QStringLiteral(R"({"message":" \n"})"));
    EXPECT_EQ(failureFor(StandInHttpReply::text(503, QByteArray("\xff\xfe", 2))).message(),
              QStringLiteral("未知错误"));
}

TEST_F(GatewayClientTest, TransportFailuresPassThroughUnchanged) {
    // Qt resends once on a fresh connection when the first one closes early.
    for (int attempt = 0; attempt < 3; ++attempt)
        server.enqueue(StandInHttpReply::dropped());
    EXPECT_THROW(runTask(clientAt(QStringLiteral("/")).registerDevice(registration())),
                 HttpTransportError);
}

// Captures the request instead of sending it.
class RecordingTransport final : public HttpTransport {
public:
    QCoro::Task<HttpResponse> send(HttpRequest request) override {
        last = request;
        co_return HttpResponse{200, {}, sessionReply};
    }
    HttpRequest last;
};

TEST(GatewayClient, RequestsWaitSixtySecondsAndCarryOnlyTheContentType) {
    auto transport = std::make_shared<RecordingTransport>();
    GatewayClient client(QUrl(QStringLiteral("https://gw.example")), transport);
    runTask(client.registerDevice(registration()));
    EXPECT_EQ(transport->last.timeout, std::chrono::seconds(60));
    EXPECT_EQ(transport->last.headers.size(), 1);
    EXPECT_EQ(transport->last.url, QUrl(QStringLiteral("https://gw.example/api/client/register")));
}

TEST(GatewayClient, SessionTextsWithUnpairedSurrogatesAreKeptAsValidText) {
    // The keychain keeps the session as compact UTF-8 JSON; an unpaired
    // surrogate there would come back as another token.
    const GatewaySession session = GatewayClient::decodeSessionReply(
        R"({"session":{"sessionId":"s-1\udc00","deviceId":"d1","accessToken":"a\ud800b",)"
        R"("accessTokenExpiresAt":"2026-12-07T10:00:00Z","refreshToken":"r1",)"
        R"("refreshTokenExpiresAt":"2027-01-07T10:00:00Z"}})");
    EXPECT_EQ(session.sessionID, QStringLiteral("s-1\uFFFD"));
    EXPECT_EQ(session.accessToken, QStringLiteral("a\uFFFDb"));
    const auto kept = json::parseObject(session.toCompactJson());
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(GatewaySession::fromJson(*kept), session);
}

TEST(GatewayURL, JoinsBelowTheBasePath) {
    const auto join = [](const char *base, const char *path) {
        return gatewayURL(QUrl(QString::fromUtf8(base)), QString::fromUtf8(path)).toString();
    };
    EXPECT_EQ(join("http://h:1", "api/proxy/format"),
              QStringLiteral("http://h:1/api/proxy/format"));
    EXPECT_EQ(join("http://h:1/", "/api/client/refresh"),
              QStringLiteral("http://h:1/api/client/refresh"));
    EXPECT_EQ(join("http://h:1/gw", "/api/client/refresh"),
              QStringLiteral("http://h:1/gw/api/client/refresh"));
    EXPECT_EQ(join("http://h:1/gw/", "api/proxy/lexicon-sync"),
              QStringLiteral("http://h:1/gw/api/proxy/lexicon-sync"));
}

} // namespace
} // namespace tovalit
