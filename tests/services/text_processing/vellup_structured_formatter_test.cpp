#include "services/text_processing/natural_mode_prompt_catalog.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "tests/support/chat_replies.h"
#include "tests/support/run_task.h"
#include "tests/support/stand_in_http_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using testing::chatReply;
using testing::jsonObject;
using testing::RecordedHttpRequest;
using testing::runTask;
using testing::StandInHttpReply;
using testing::StandInHttpServer;
using Task = StructuredFormattingTask;
using Error = VellupStructuredFormatterError;

template <typename Exception>
Exception errorOf(QCoro::Task<QString> task) {
    try {
        const QString text = runTask(std::move(task));
        ADD_FAILURE() << "expected a failure, got " << text.toStdString();
    } catch (const Exception &error) {
        return error;
    }
    throw std::logic_error("unreachable");
}

class VellupStructuredFormatterTest : public ::testing::Test {
protected:
    VellupStructuredFormatterConfiguration configuration() const {
        // A key pasted with its line break; the blank app id is not sent.
        return {server.url(u"/v1/chat/completions"_s), u"test-model"_s, u"  "_s, u"agent-7"_s,
                u"sk-test\n"_s};
    }

    QString format(const QString &transcript, const Task &task) {
        return runTask(VellupStructuredFormatter(configuration()).format(transcript, task));
    }

    const RecordedHttpRequest &onlyRequest() {
        EXPECT_EQ(server.requests().size(), 1u);
        return server.requests().front();
    }

    StandInHttpServer server;
};

TEST_F(VellupStructuredFormatterTest, NaturalRequestWithoutContextSendsTheEnvelope) {
    server.enqueue(StandInHttpReply::json(200, chatReply(uR"("text":"你好。"})"_s)));

    EXPECT_EQ(format(u"  你好 \n"_s, Task::natural(NaturalModeStage::shortCleanup, std::nullopt)),
              u"你好。"_s);

    const RecordedHttpRequest &request = onlyRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/v1/chat/completions");
    EXPECT_EQ(request.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(request.header("Authorization"), "Bearer sk-test");
    EXPECT_EQ(request.headerCount("X-App-Id"), 0);
    EXPECT_EQ(request.header("X-Agent-Id"), "agent-7");

    const QJsonObject body = jsonObject(request.body);
    EXPECT_EQ(body.size(), 6);
    EXPECT_EQ(body[u"model"_s], u"test-model"_s);
    EXPECT_EQ(body[u"temperature"_s].toDouble(), 0.0);
    EXPECT_EQ(body[u"max_tokens"_s], 320);
    EXPECT_EQ(body[u"stream"_s], false);
    EXPECT_EQ(body[u"thinking"_s], QJsonObject({{u"type"_s, u"disabled"_s}}));

    const QJsonArray messages = body[u"messages"_s].toArray();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages[0],
              QJsonObject({{u"role"_s, u"system"_s},
                           {u"content"_s, NaturalModePromptCatalog::systemPrompt(Task::natural(
                                              NaturalModeStage::shortCleanup, std::nullopt))}}));
    // Without a context the model gets the bare, trimmed transcript.
    EXPECT_EQ(messages[1], QJsonObject({{u"role"_s, u"user"_s}, {u"content"_s, u"你好"_s}}));
    EXPECT_EQ(messages[2], QJsonObject({{u"role"_s, u"assistant"_s}, {u"content"_s, u"{"_s}}));
}

TEST_F(VellupStructuredFormatterTest, NaturalRequestWithContextSendsTwentySortedMembers) {
    server.enqueue(StandInHttpReply::json(200, chatReply(u"```json\n{\"text\":\"好的\"}\n```"_s)));
    NaturalFormattingContext context;
    context.appName = u"Corvix"_s;
    context.appBundleID = u"com.todesktop.cursor"_s;
    context.appProfileID = u"cursor"_s;
    context.selectedText = u"let x = 1;"_s;
    context.windowTitle = u"main.rs"_s;

    EXPECT_EQ(format(u"改一下变量名"_s, Task::natural(NaturalModeStage::mediumCleanup, context)),
              u"好的"_s);

    const QJsonObject body = jsonObject(onlyRequest().body);
    EXPECT_EQ(body[u"max_tokens"_s], 768);
    const QJsonArray messages = body[u"messages"_s].toArray();
    EXPECT_EQ(messages[0][u"content"_s], NaturalModePromptCatalog::systemPrompt(Task::natural(
                                             NaturalModeStage::mediumCleanup, std::nullopt)));

    const QString userText = messages[1][u"content"_s].toString();
    EXPECT_TRUE(userText.contains(u'\n')) << "pretty-printed";
    const QJsonObject user = jsonObject(userText.toUtf8());
    EXPECT_EQ(user.size(), 20);
    for (auto member = user.begin(); member != user.end(); ++member)
        EXPECT_TRUE(member.value().isString()) << member.key().toStdString();
    EXPECT_EQ(user[u"transcript"_s], u"改一下变量名"_s);
    EXPECT_EQ(user[u"app_name"_s], u"Corvix"_s);
    EXPECT_EQ(user[u"bundle_id"_s], u"com.todesktop.cursor"_s);
    EXPECT_EQ(user[u"app_profile_id"_s], u"cursor"_s);
    EXPECT_EQ(user[u"selected_text"_s], u"let x = 1;"_s);
    EXPECT_EQ(user[u"window_title"_s], u"main.rs"_s);
    EXPECT_EQ(user[u"caret_area_ocr"_s], u""_s);
    EXPECT_EQ(user[u"surrounding_text_before_cursor"_s], u""_s);

    // Keys appear in sorted order in the text itself.
    qsizetype previous = -1;
    for (const QString &key : user.keys()) {
        const qsizetype position = userText.indexOf(u'"' + key + u"\":"_s);
        EXPECT_GT(position, previous) << key.toStdString();
        previous = position;
    }
}

TEST_F(VellupStructuredFormatterTest, MeetingTickSendsThirteenTypedMembers) {
    server.enqueue(StandInHttpReply::json(200, chatReply(uR"({"text":"[不新增]"})"_s)));
    Task::MeetingIncremental tick;
    tick.tickIndex = 4;
    tick.rangeLabel = u"02:00-02:30"_s;
    tick.previousStages = {u"阶段一"_s, u"阶段二"_s};
    tick.currentStageTitle = u"上线节奏"_s;
    tick.currentStageOutline = u"[阶段] 上线节奏"_s;
    tick.currentStageModules = {u"风险约束"_s};
    tick.currentStageTextModuleCount = 1;
    tick.recentContext = u"刚才说到灰度"_s;
    tick.pendingSeconds = 45;
    tick.mustDecide = true;
    tick.mustLandStage = false;
    tick.speakerHints = {};

    EXPECT_EQ(format(u" 我们先灰度 "_s, Task::meetingIncremental(tick)), u"[不新增]"_s);

    const QJsonObject body = jsonObject(onlyRequest().body);
    EXPECT_EQ(body[u"max_tokens"_s], 1280);
    const QJsonArray messages = body[u"messages"_s].toArray();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages[2][u"content"_s], u"{"_s);
    const QJsonObject user = jsonObject(messages[1][u"content"_s].toString().toUtf8());
    EXPECT_EQ(user, QJsonObject({{u"tick_index"_s, 4},
                                 {u"range_label"_s, u"02:00-02:30"_s},
                                 {u"previous_stages"_s, QJsonArray{u"阶段一"_s, u"阶段二"_s}},
                                 {u"current_stage_title"_s, u"上线节奏"_s},
                                 {u"current_stage_outline"_s, u"[阶段] 上线节奏"_s},
                                 {u"current_stage_modules"_s, QJsonArray{u"风险约束"_s}},
                                 {u"current_stage_text_module_count"_s, 1},
                                 {u"recent_context"_s, u"刚才说到灰度"_s},
                                 {u"pending_seconds"_s, 45},
                                 {u"must_decide"_s, true},
                                 {u"must_land_stage"_s, false},
                                 {u"speaker_hints"_s, QJsonArray{}},
                                 {u"current_window"_s, u"我们先灰度"_s}}));
}

TEST_F(VellupStructuredFormatterTest, MinutesAreReturnedAsWrittenWithoutPrefill) {
    const QString minutes = u"```json\n{\"text\":\"x\"}\n```"_s;
    server.enqueue(StandInHttpReply::json(200, chatReply(QString(u"\n  "_s + minutes + u"\n"_s))));

    EXPECT_EQ(format(u"整场会议的转写"_s, Task::meetingFinal()), minutes);

    const QJsonObject body = jsonObject(onlyRequest().body);
    EXPECT_EQ(body[u"max_tokens"_s], 4096);
    const QJsonArray messages = body[u"messages"_s].toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[1][u"content"_s], u"整场会议的转写"_s);
}

TEST_F(VellupStructuredFormatterTest, NothingIsSentForABlankTranscriptOrAnEmptyModel) {
    EXPECT_EQ(format(u" \n\u3000"_s, Task::meetingFinal()), u""_s);

    VellupStructuredFormatterConfiguration noModel = configuration();
    noModel.model.clear();
    const auto error = errorOf<Error>(VellupStructuredFormatter(noModel).format(
        u"你好"_s, Task::natural(NaturalModeStage::shortCleanup, std::nullopt)));
    EXPECT_EQ(error.kind(), Error::Kind::invalidRequest);
    EXPECT_EQ(error.localizedDescription(), u"整理请求构造失败，请稍后重试。"_s);
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_TRUE(server.requests().empty());

    // A blank model is the endpoint's business, not ours.
    server.enqueue(StandInHttpReply::json(200, chatReply(u"好"_s)));
    VellupStructuredFormatterConfiguration blankModel = configuration();
    blankModel.model = u"  "_s;
    blankModel.secretKey = u" \n"_s;
    runTask(VellupStructuredFormatter(blankModel).format(u"你好"_s, Task::meetingFinal()));
    EXPECT_EQ(jsonObject(onlyRequest().body)[u"model"_s], u"  "_s);
    EXPECT_EQ(onlyRequest().headerCount("Authorization"), 0);
}

TEST_F(VellupStructuredFormatterTest, LineBreaksInCredentialsNeverReachTheWire) {
    server.enqueue(StandInHttpReply::json(200, chatReply(u"好"_s)));
    VellupStructuredFormatterConfiguration injected = configuration();
    injected.secretKey = u"sk\r\nX-Injected: 1"_s;
    injected.appID = u"app-1\n"_s;

    runTask(VellupStructuredFormatter(injected).format(u"你好"_s, Task::meetingFinal()));

    const RecordedHttpRequest &request = onlyRequest();
    EXPECT_EQ(request.header("Authorization"), "Bearer skX-Injected: 1");
    EXPECT_EQ(request.headerCount("X-Injected"), 0);
    EXPECT_EQ(request.header("X-App-Id"), "app-1");
}

TEST_F(VellupStructuredFormatterTest, ReplyFailuresCarryTheirTexts) {
    const Task task = Task::natural(NaturalModeStage::shortCleanup, std::nullopt);
    const auto formatting = [&] {
        return VellupStructuredFormatter(configuration()).format(u"你好"_s, task);
    };

    server.enqueue(StandInHttpReply::text(502, QByteArray("\xff\xfe bad gateway")));
    EXPECT_EQ(errorOf<Error>(formatting()).localizedDescription(),
              u"整理请求失败（502）：unknown error"_s);

    server.enqueue(StandInHttpReply::json(401, R"({"message":"invalid_token"})"));
    const Error unauthorized = errorOf<Error>(formatting());
    EXPECT_EQ(unauthorized.status(), 401);
    EXPECT_EQ(unauthorized.localizedDescription(),
              u"整理请求失败（401）：{\"message\":\"invalid_token\"}"_s);

    server.enqueue(StandInHttpReply::text(300, "多种选择"_ba));
    EXPECT_EQ(errorOf<Error>(formatting()).localizedDescription(),
              u"整理请求失败（300）：多种选择"_s);

    server.enqueue(StandInHttpReply::json(200, R"({"choices":[]})"));
    EXPECT_EQ(errorOf<Error>(formatting()).localizedDescription(), u"整理返回了无法解析的内容。"_s);

    server.enqueue(StandInHttpReply::json(200, R"({"choices":[{"message":"hi"}]})"));
    EXPECT_EQ(errorOf<Error>(formatting()).kind(), Error::Kind::invalidResponse);

    server.enqueue(StandInHttpReply::json(200, chatReply(42)));
    EXPECT_EQ(errorOf<Error>(formatting()).kind(), Error::Kind::invalidResponse);

    server.enqueue(StandInHttpReply::json(200, chatReply(QJsonArray{u"a"_s})));
    EXPECT_EQ(errorOf<Error>(formatting()).kind(), Error::Kind::invalidResponse);

    server.enqueue(StandInHttpReply::json(200, chatReply(u" \n\t"_s)));
    EXPECT_EQ(errorOf<Error>(formatting()).localizedDescription(), u"整理没有返回可用内容。"_s);

    server.enqueue(StandInHttpReply::json(200, "<html>oops</html>"));
    EXPECT_FALSE(errorOf<JsonReplyParseError>(formatting()).localizedDescription().isEmpty());
}

TEST_F(VellupStructuredFormatterTest, TransportFailuresPassThroughUnchanged) {
    // The network stack resends once on a connection closed without a
    // reply, so every attempt is dropped.
    server.setHandler([](const RecordedHttpRequest &) { return StandInHttpReply::dropped(); });
    const auto error = errorOf<HttpTransportError>(
        VellupStructuredFormatter(configuration()).format(u"你好"_s, Task::meetingFinal()));
    EXPECT_EQ(error.kind(), HttpTransportError::Kind::NotConnected);
}

TEST_F(VellupStructuredFormatterTest, ContentPartsAreJoined) {
    const QJsonArray parts{QJsonObject{{u"type"_s, u"text"_s}, {u"text"_s, u"a"_s}},
                           QJsonObject{{u"type"_s, u"image_url"_s}},
                           QJsonObject{{u"type"_s, u"text"_s}, {u"text"_s, u"b"_s}}};
    server.enqueue(StandInHttpReply::json(200, chatReply(parts)));
    EXPECT_EQ(format(u"你好"_s, Task::natural(NaturalModeStage::shortCleanup, std::nullopt)),
              u"ab"_s);
}

// Answers chosen by the test, without a network, for what a server cannot
// be made to send (informational statuses) and for what never reaches the
// wire (the timeout).
class ScriptedTransport : public HttpTransport {
public:
    QCoro::Task<HttpResponse> send(HttpRequest request) override {
        validate(request);
        requests.push_back(std::move(request));
        co_return reply;
    }

    HttpResponse reply;
    std::vector<HttpRequest> requests;
};

TEST(VellupStructuredFormatterStatus, OnlyTwoHundredsSucceedAndTheTimeoutIsAMinute) {
    auto transport = std::make_shared<ScriptedTransport>();
    const VellupStructuredFormatter formatter(
        {QUrl(u"https://llm.example/chat"_s), u"m"_s, u""_s, u""_s, u"key"_s}, transport);
    const auto statusOutcome = [&](int status) -> QString {
        transport->reply = HttpResponse{status, {}, chatReply(u"好"_s)};
        try {
            return runTask(formatter.format(u"你好"_s, Task::meetingFinal()));
        } catch (const Error &error) {
            return error.localizedDescription();
        }
    };
    EXPECT_EQ(statusOutcome(199),
              u"整理请求失败（199）："_s + QString::fromUtf8(chatReply(u"好"_s)));
    EXPECT_EQ(statusOutcome(200), u"好"_s);
    EXPECT_EQ(statusOutcome(299), u"好"_s);
    EXPECT_TRUE(statusOutcome(300).startsWith(u"整理请求失败（300）："_s));

    ASSERT_FALSE(transport->requests.empty());
    EXPECT_EQ(transport->requests.front().timeout, std::chrono::seconds(60));
    EXPECT_EQ(transport->requests.front().url, QUrl(u"https://llm.example/chat"_s));
}

} // namespace
} // namespace tovalit
