#include "services/learning/volcengine_speech_lexicon_sync_service.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/regex.h"
#include "tests/services/learning/open_api_test_kit.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Error = VolcengineSpeechLexiconSyncError;
using Service = VolcengineSpeechLexiconSyncService;
using testing::expectValidSignature;
using testing::PlainHttpTransport;
using testing::readCall;
using testing::runTask;
using testing::StandInHttpReply;
using testing::StandInHttpServer;

const VolcengineSpeechOpenAPIConfiguration &keys = testing::openAPIKeys;

Service
serviceFor(const StandInHttpServer &server,
           std::shared_ptr<HttpTransport> transport = std::make_shared<PlainHttpTransport>(),
           QString host = {}) {
    if (host.isNull())
        host = QStringLiteral("127.0.0.1:") + QString::number(server.port());
    return Service(
        keys, std::nullopt, std::move(transport), host,
        [] { return QDateTime(QDate(2026, 3, 7), QTime(1, 5, 1), Qt::UTC); },
        [] { return QStringLiteral("Boundary-FIXED"); });
}

QJsonObject listPayload() {
    return QJsonObject{{QStringLiteral("Action"), QStringLiteral("ListBoostingTable")},
                       {QStringLiteral("Version"), QStringLiteral("2022-08-30")},
                       {QStringLiteral("AppID"), qint64(9007199254740993)}};
}

TEST(VolcengineSpeechLexiconSyncTransport, JSONRequestsGoOutSignedWithTheEmptyContentHashHeader) {
    TOVALIT_REQUIRE_OPENSSL();
    StandInHttpServer server;
    server.enqueue(StandInHttpReply::json(200, R"({"Result":{"BoostingTables":[]}})"));
    const Service service = serviceFor(server);

    const QJsonObject reply = runTask(service.performJSONRequest(
        QStringLiteral("ListBoostingTable"), QStringLiteral("2022-08-30"), listPayload(), keys));
    EXPECT_TRUE(reply.value(u"Result").isObject());

    ASSERT_EQ(server.requests().size(), 1u);
    const auto &request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/?Action=ListBoostingTable&Version=2022-08-30");
    EXPECT_EQ(request.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(request.header("X-Date"), "20260307T010501Z");
    EXPECT_EQ(request.headerCount("X-Content-Sha256"), 1);
    EXPECT_EQ(request.header("X-Content-Sha256"), "");
    // Large app ids survive as exact JSON integers.
    EXPECT_TRUE(request.body.contains(R"("AppID":9007199254740993)")) << request.body.toStdString();
    EXPECT_EQ(readCall(request).json.value(u"Action").toString(),
              QStringLiteral("ListBoostingTable"));
    // What the server recomputes from the bytes it received matches.
    expectValidSignature(request, keys.accessKeyID.toUtf8(), keys.secretAccessKey.toUtf8());

    // Our four headers go out in the signed order.
    QList<QByteArray> ours;
    for (const auto &[name, value] : request.headers) {
        if (QList<QByteArray>{"Content-Type", "X-Date", "X-Content-Sha256", "Authorization"}
                .contains(name))
            ours.append(name);
    }
    EXPECT_EQ(ours,
              (QList<QByteArray>{"Content-Type", "X-Date", "X-Content-Sha256", "Authorization"}));
}

TEST(VolcengineSpeechLexiconSyncTransport, MultipartBodiesAreWrittenByteForByte) {
    TOVALIT_REQUIRE_OPENSSL();
    StandInHttpServer server;
    server.enqueue(StandInHttpReply::json(200, R"({"Result":{}})"));
    const Service service = serviceFor(server);

    runTask(service.performMultipartRequest(
        QStringLiteral("CreateCorrectTable"), QStringLiteral("2023-10-30"),
        {{QStringLiteral("Version"), QStringLiteral("2023-10-30")},
         {QStringLiteral("TableName"), QStringLiteral("tovalit-personal-replacements-ab12")},
         {QStringLiteral("AppID"), QStringLiteral("42")},
         {QStringLiteral("Action"), QStringLiteral("CreateCorrectTable")}},
        QStringLiteral("tovalit-replacements.txt"),
        QStringLiteral("托瓦利特|Tovalit\nk8s|Kovarindel"), keys));

    ASSERT_EQ(server.requests().size(), 1u);
    const auto &request = server.requests().front();
    EXPECT_EQ(request.header("Content-Type"),
              "multipart/form-data; boundary=Boundary-FIXED; charset=utf-8");
    const QByteArray expected =
        "--Boundary-FIXED\r\n"
        "Content-Disposition: form-data; name=\"Action\"\r\n\r\n"
        "CreateCorrectTable\r\n"
        "--Boundary-FIXED\r\n"
        "Content-Disposition: form-data; name=\"AppID\"\r\n\r\n"
        "42\r\n"
        "--Boundary-FIXED\r\n"
        "Content-Disposition: form-data; name=\"TableName\"\r\n\r\n"
        "tovalit-personal-replacements-ab12\r\n"
        "--Boundary-FIXED\r\n"
        "Content-Disposition: form-data; name=\"Version\"\r\n\r\n"
        "2023-10-30\r\n"
        "--Boundary-FIXED\r\n"
        "Content-Disposition: form-data; name=\"File\"; filename=\"tovalit-replacements.txt\"\r\n"
        "Content-Type: text/plain\r\n\r\n"
        "\xe6\x89\x98\xe7\x93\xa6\xe5\x88\xa9\xe7\x89\xb9|Tovalit\nk8s|Kovarindel\r\n"
        "--Boundary-FIXED--\r\n";
    EXPECT_EQ(request.body, expected);
    expectValidSignature(request, keys.accessKeyID.toUtf8(), keys.secretAccessKey.toUtf8());

    // The file part is always there and always last, also when empty; texts
    // go in unchanged.
    EXPECT_EQ(Service::makeMultipartBody(QStringLiteral("B"), {}, QStringLiteral("a\"b.txt"), {}),
              "--B\r\nContent-Disposition: form-data; name=\"File\"; filename=\"a\"b.txt\"\r\n"
              "Content-Type: text/plain\r\n\r\n\r\n--B--\r\n");

    // Without an injected generator every request gets a fresh boundary.
    const textkit::Regex shape(
        QStringLiteral("^Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    const QString first = Service::defaultBoundary();
    EXPECT_TRUE(shape.matchesEntirely(first)) << first.toStdString();
    EXPECT_NE(first, Service::defaultBoundary());
}

// What perform() makes of one reply.
struct Outcome {
    enum class Kind { object, requestFailed, invalidResponse, parseError };
    Kind kind;
    int status;
    QString message;

    static Outcome object() { return {Kind::object, 0, {}}; }
    static Outcome failed(int status, QString message) {
        return {Kind::requestFailed, status, std::move(message)};
    }
    static Outcome invalid() { return {Kind::invalidResponse, 0, {}}; }
    static Outcome parseError() { return {Kind::parseError, 0, {}}; }
    bool operator==(const Outcome &) const = default;
};

void PrintTo(const Outcome &outcome, std::ostream *out) {
    *out << "kind " << int(outcome.kind) << ", status " << outcome.status << ", message \""
         << outcome.message.toStdString() << '"';
}

Outcome outcomeOf(const Service &service, StandInHttpServer &server, StandInHttpReply reply) {
    server.enqueue(std::move(reply));
    try {
        runTask(service.performJSONRequest(QStringLiteral("ListBoostingTable"),
                                           QStringLiteral("2022-08-30"), listPayload(), keys));
        return Outcome::object();
    } catch (const Error &error) {
        if (error.kind() == Error::Kind::invalidResponse)
            return Outcome::invalid();
        EXPECT_EQ(error.kind(), Error::Kind::requestFailed);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("火山云词库同步失败（") +
                                                    QString::number(error.statusCode()) +
                                                    QStringLiteral("）：") + error.message());
        return Outcome::failed(error.statusCode(), error.message());
    } catch (const JsonReplyParseError &) {
        return Outcome::parseError();
    }
}

TEST(VolcengineSpeechLexiconSyncTransport, RepliesMapToObjectsOrErrorsInTheCheckedOrder) {
    StandInHttpServer server;
    const Service service = serviceFor(server);
    using Reply = StandInHttpReply;
    const QString unknown = QStringLiteral("未知错误");
    const struct {
        const char *what;
        StandInHttpReply reply;
        Outcome expected;
    } cases[] = {
        {"2xx with an error object",
         Reply::json(200, R"({"ResponseMetadata":{"Error":{"Code":"X","Message":"bad"}}})"),
         Outcome::failed(200, QStringLiteral("bad"))},
        {"2xx error without a message string",
         Reply::json(200, R"({"ResponseMetadata":{"Error":{"Message":7}}})"),
         Outcome::failed(200, QStringLiteral(R"({"ResponseMetadata":{"Error":{"Message":7}}})"))},
        {"2xx metadata without an error",
         Reply::json(200, R"({"ResponseMetadata":{"RequestId":"r"}})"), Outcome::object()},
        {"2xx with a null error", Reply::json(200, R"({"ResponseMetadata":{"Error":null}})"),
         Outcome::object()},
        {"2xx with metadata that is not an object",
         Reply::json(200, R"({"ResponseMetadata":"Error","Result":{}})"), Outcome::object()},
        {"non-2xx keeps the message with its blanks",
         Reply::json(400, R"({"ResponseMetadata":{"Error":{"Message":"  spaced out \n"}}})"),
         Outcome::failed(400, QStringLiteral("  spaced out \n"))},
        {"non-2xx with a blank message falls back to the body",
         Reply::json(409, R"({"ResponseMetadata":{"Error":{"Message":"  "}}})"),
         Outcome::failed(409,
                         QStringLiteral(R"({"ResponseMetadata":{"Error":{"Message":"  "}}})"))},
        {"non-2xx plain text is trimmed", Reply::text(400, "  plain failure\n"),
         Outcome::failed(400, QStringLiteral("plain failure"))},
        {"non-2xx JSON of another shape, whole", Reply::json(403, R"({"message":"invalid_token"})"),
         Outcome::failed(403, QStringLiteral(R"({"message":"invalid_token"})"))},
        {"non-2xx empty", Reply::text(500, ""), Outcome::failed(500, unknown)},
        {"non-2xx blank", Reply::text(500, " \r\n\t"), Outcome::failed(500, unknown)},
        {"non-2xx not UTF-8", Reply::text(502, "\xff\xfe\xfd"), Outcome::failed(502, unknown)},
        {"2xx array", Reply::json(200, "[1,2]"), Outcome::invalid()},
        {"2xx empty array", Reply::json(200, "[]"), Outcome::invalid()},
        {"2xx not JSON", Reply::text(200, "<html>ok</html>"), Outcome::parseError()},
        {"2xx bare string", Reply::json(200, R"("ok")"), Outcome::parseError()},
        {"2xx bare number", Reply::json(200, "42"), Outcome::parseError()},
        {"2xx empty body", Reply::json(200, ""), Outcome::parseError()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(outcomeOf(service, server, c.reply), c.expected) << c.what;
}

TEST(VolcengineSpeechLexiconSyncTransport, SuccessfulRepliesComeBackWhole) {
    StandInHttpServer server;
    server.enqueue(StandInHttpReply::json(
        200, R"({"ResponseMetadata":{"RequestId":"r1","Error":null},"Result":{"Total":0}})"));
    const QJsonObject reply = runTask(serviceFor(server).performJSONRequest(
        QStringLiteral("ListBoostingTable"), QStringLiteral("2022-08-30"), listPayload(), keys));
    EXPECT_EQ(reply.value(u"ResponseMetadata").toObject().value(u"RequestId").toString(),
              QStringLiteral("r1"));
    EXPECT_EQ(reply.value(u"Result").toObject().value(u"Total").toInt(-1), 0);
}

// A transport that answers without an HTTP status.
class StatuslessTransport final : public HttpTransport {
public:
    QCoro::Task<HttpResponse> send(HttpRequest) override { co_return HttpResponse{}; }
};

TEST(VolcengineSpeechLexiconSyncTransport, TransportFailuresAndBadHostsPassThroughUnchanged) {
    StandInHttpServer server;
    // Qt resends once when a connection closes before any reply.
    server.setHandler([](const auto &) { return StandInHttpReply::dropped(); });
    try {
        runTask(serviceFor(server).performJSONRequest(QStringLiteral("ListBoostingTable"),
                                                      QStringLiteral("2022-08-30"), listPayload(),
                                                      keys));
        ADD_FAILURE() << "a dropped connection succeeded";
    } catch (const HttpTransportError &error) {
        EXPECT_EQ(error.kind(), HttpTransportError::Kind::NotConnected);
    }

    EXPECT_THROW(
        runTask(serviceFor(server, std::make_shared<StatuslessTransport>())
                    .performJSONRequest(QStringLiteral("ListBoostingTable"),
                                        QStringLiteral("2022-08-30"), listPayload(), keys)),
        Error);

    // No host set: the task fails (it does not throw at the call) and
    // nothing reaches the network.
    const size_t sent = server.requests().size();
    const Service hostless =
        serviceFor(server, std::make_shared<PlainHttpTransport>(), QStringLiteral(""));
    auto task = hostless.performMultipartRequest(
        QStringLiteral("CreateBoostingTable"), QStringLiteral("2022-08-30"), {},
        QStringLiteral("f.txt"), QStringLiteral("x|4"), keys);
    try {
        runTask(std::move(task));
        ADD_FAILURE() << "sent without a host";
    } catch (const HttpTransportError &error) {
        EXPECT_EQ(error.kind(), HttpTransportError::Kind::InvalidRequest);
        EXPECT_TRUE(
            error.localizedDescription().contains(QStringLiteral("未设置火山云 OpenAPI 主机")));
    }
    EXPECT_EQ(server.requests().size(), sent);
}

} // namespace
} // namespace tovalit
