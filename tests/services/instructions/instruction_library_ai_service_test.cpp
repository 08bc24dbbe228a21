#include "models/instruction_library_catalog.h"
#include "services/instructions/instruction_library_ai_service.h"
#include "services/instructions/instruction_library_ai_service_error.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/textkit.h"
#include "tests/models/instruction_test_entries.h"
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
using Error = InstructionLibraryAIServiceError;
using Category = InstructionLibraryCategory;

template <typename Exception, typename T>
Exception errorOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
        ADD_FAILURE() << "expected a failure";
    } catch (const Exception &error) {
        return error;
    }
    throw std::logic_error("unreachable");
}

const QDateTime fixedNow = QDateTime(QDate(2026, 3, 7), QTime(1, 5, 1), Qt::UTC);

class InstructionLibraryAIServiceTest : public ::testing::Test {
protected:
    VellupStructuredFormatterConfiguration configuration() const {
        // A key pasted with its line break; the blank app id is not sent.
        return {server.url(u"/api/proxy/format"_s), u"test-model"_s, u" "_s, u"agent-7"_s,
                u"session-token\n"_s};
    }

    InstructionLibraryAIService service(VellupStructuredFormatterConfiguration config) const {
        return InstructionLibraryAIService(std::move(config), nullptr, [] { return fixedNow; });
    }
    InstructionLibraryAIService service() const { return service(configuration()); }

    InstructionLibraryEntry draft(const QString &reply) {
        server.enqueue(StandInHttpReply::json(200, chatReply(reply)));
        return runTask(service().draftCustomEntry(u"把会议纪要整理成表格"_s));
    }

    QString execute(const QString &reply) {
        server.enqueue(StandInHttpReply::json(200, chatReply(reply)));
        return runTask(service().execute(InstructionLibraryCatalog::builtinEntries()[0], u"x"_s));
    }

    const RecordedHttpRequest &lastRequest() const {
        EXPECT_FALSE(server.requests().empty());
        return server.requests().back();
    }

    StandInHttpServer server;
};

TEST_F(InstructionLibraryAIServiceTest, ExecutionSendsThePromptAndTheTrimmedInput) {
    server.enqueue(StandInHttpReply::json(200, chatReply(u"\n The meeting moves to 3 pm. \n"_s)));
    const InstructionLibraryEntry &english = InstructionLibraryCatalog::builtinEntries()[7];

    EXPECT_EQ(runTask(service().execute(english, u"\u3000今天的会议改到下午三点。\n"_s)),
              u"The meeting moves to 3 pm."_s);

    ASSERT_EQ(server.requests().size(), 1u);
    const RecordedHttpRequest &request = lastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/proxy/format");
    EXPECT_EQ(request.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(request.header("Authorization"), "Bearer session-token");
    EXPECT_EQ(request.headerCount("X-App-Id"), 0);
    EXPECT_EQ(request.header("X-Agent-Id"), "agent-7");
    EXPECT_FALSE(request.body.contains('\n')) << "compact";
    EXPECT_EQ(
        jsonObject(request.body),
        (QJsonObject{
            {u"model"_s, u"test-model"_s},
            {u"messages"_s, QJsonArray{QJsonObject{{u"role"_s, u"system"_s},
                                                   {u"content"_s, english.promptTemplate}},
                                       QJsonObject{{u"role"_s, u"user"_s},
                                                   {u"content"_s, u"今天的会议改到下午三点。"_s}}}},
            {u"temperature"_s, 0.1},
            {u"max_tokens"_s, 800},
            {u"stream"_s, false},
            {u"thinking"_s, QJsonObject{{u"type"_s, u"disabled"_s}}},
        }));

    // The entry's own limit goes out, whatever it is; the body byte for byte.
    InstructionLibraryEntry custom = testing::instruction({.title = u"短"_s});
    custom.maxTokens = 100;
    server.enqueue(StandInHttpReply::json(200, chatReply(u"ok"_s)));
    runTask(service().execute(custom, u"x"_s));
    EXPECT_EQ(QString::fromUtf8(lastRequest().body),
              uR"({"max_tokens":100,"messages":[{"content":"你是测试助手。","role":"system"},)"
              uR"({"content":"x","role":"user"}],"model":"test-model","stream":false,)"
              uR"("temperature":0.1,"thinking":{"type":"disabled"}})"_s);
}

TEST_F(InstructionLibraryAIServiceTest, DraftSendsTheDraftPromptWithAPrefilledBrace) {
    const InstructionLibraryEntry entry = draft(
        uR"("title": " 会议表格 ", "summary": "把会议纪要整理成表格。", "category": "planning", "prompt_template": "\n你是表格助手。\n"})"_s);

    const QJsonObject body = jsonObject(lastRequest().body);
    EXPECT_EQ(body.size(), 6);
    EXPECT_EQ(body[u"temperature"_s].toDouble(), 0.1);
    EXPECT_EQ(body[u"max_tokens"_s], 900);
    EXPECT_EQ(
        body[u"messages"_s],
        (QJsonArray{QJsonObject{{u"role"_s, u"system"_s},
                                {u"content"_s, InstructionLibraryAIService::draftPrompt()}},
                    QJsonObject{{u"role"_s, u"user"_s}, {u"content"_s, u"把会议纪要整理成表格"_s}},
                    QJsonObject{{u"role"_s, u"assistant"_s}, {u"content"_s, u"{"_s}}}));
    EXPECT_EQ(lastRequest().header("Authorization"), "Bearer session-token");

    EXPECT_FALSE(entry.id().isNull());
    EXPECT_EQ(entry.title, u"会议表格"_s);
    EXPECT_EQ(entry.summary, u"把会议纪要整理成表格。"_s);
    EXPECT_EQ(entry.promptTemplate, u"你是表格助手。"_s);
    EXPECT_EQ(entry.category, Category::planning);
    EXPECT_EQ(entry.source, InstructionLibraryEntrySource::custom);
    EXPECT_TRUE(entry.enabled);
    EXPECT_EQ(entry.maxTokens, 900);
    EXPECT_EQ(entry.invocationPhrases,
              (QStringList{u"用会议表格指令"_s, u"使用会议表格指令"_s, u"调用会议表格指令"_s}));
    EXPECT_EQ(entry.invocationHint, u"用会议表格指令 + 你的内容"_s);
    EXPECT_EQ(entry.createdAt, fixedNow);
    EXPECT_EQ(entry.updatedAt, fixedNow);

    // The fixed system message: 716 characters; the JSON skeleton with its
    // four members; nine numbered rules.
    const QString &prompt = InstructionLibraryAIService::draftPrompt();
    EXPECT_EQ(textkit::graphemeCount(prompt), 716);
    const QStringList lines = prompt.split(u'\n');
    EXPECT_EQ(lines[0], u"你是 Tovalit 的指令库创建助手。"_s);
    EXPECT_TRUE(lines[1].isEmpty());
    EXPECT_TRUE(lines.contains(u"你必须只输出 JSON，对应字段如下："_s));
    for (
        const QString &skeleton :
        {u"\"title\": \"指令名称\""_s, u"\"summary\": \"一句话说明这个指令是干什么的\""_s,
         u"\"category\": \"writing|rewrite|planning|prompt\""_s,
         u"\"prompt_template\": \"未来真正执行这个指令时要作为 system prompt 发送给模型的内容\""_s}) {
        EXPECT_TRUE(prompt.contains(skeleton)) << skeleton.toStdString();
    }
    const qsizetype rules = lines.indexOf(u"规则："_s);
    ASSERT_GT(rules, 0);
    ASSERT_EQ(lines.size(), rules + 10);
    for (int n = 1; n <= 9; ++n)
        EXPECT_TRUE(lines[rules + n].startsWith(QString::number(n) + u". "_s));
}

TEST_F(InstructionLibraryAIServiceTest, FencesAroundAnAnswerAreRemoved) {
    struct Case {
        const char *name;
        QString answer;
        QString text;
    };
    const Case cases[] = {
        {"markdown fence", u"```markdown\n# 日报\n- 修复登录\n```"_s, u"# 日报\n- 修复登录"_s},
        {"md fence", u"```md\n正文\n```"_s, u"正文"_s},
        {"text fence", u"  ```text\n正文\n```  "_s, u"正文"_s},
        {"bare fence", u"```\nHello\n```"_s, u"Hello"_s},
        {"other tag stays", u"```json\n{\"a\":1}\n```"_s, u"json\n{\"a\":1}"_s},
        {"fences inside come out too", u"```\n用 ```code``` 包住\n```"_s, u"用 code 包住"_s},
        {"backticks only in the middle", u" 先运行 ```make``` 再提交 "_s,
         u"先运行 ```make``` 再提交"_s},
        {"opening fence only", u"```sh\nprint(1)"_s, u"```sh\nprint(1)"_s},
        {"plain answer", u"\n普通回答\n"_s, u"普通回答"_s},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(InstructionLibraryAIService::normalizedExecutionText(c.answer), c.text) << c.name;
        EXPECT_EQ(execute(c.answer), c.text) << c.name;
    }

    // A fence with nothing inside leaves nothing to deliver.
    for (const QString &empty : {u"```\n```"_s, u"```markdown\n\n```"_s, u"```"_s}) {
        server.enqueue(StandInHttpReply::json(200, chatReply(empty)));
        const Error error = errorOf<Error>(
            service().execute(InstructionLibraryCatalog::builtinEntries()[0], u"x"_s));
        EXPECT_EQ(error.kind(), Error::Kind::emptyRenderedText) << empty.toStdString();
        EXPECT_EQ(error.localizedDescription(), u"指令没有产出可用文本。"_s);
    }
}

TEST_F(InstructionLibraryAIServiceTest, DraftAnswersAreReadLeniently) {
    const QString members =
        uR"("title":"周报","summary":"写周报。","category":"%1","prompt_template":"你是周报助手。")"_s;
    struct Case {
        const char *name;
        QString reply;
        Category category;
    };
    const Case cases[] = {
        {"continuation of the prefill", members.arg(u"writing"_s) + u"}"_s, Category::writing},
        {"prose around the object",
         u"好的，草稿如下：\n{"_s + members.arg(u"rewrite"_s) + u"}\n以上。"_s, Category::rewrite},
        {"fenced object", u"```json\n{"_s + members.arg(u"prompt"_s) + u"}\n```"_s,
         Category::prompt},
        {"planning", u"{"_s + members.arg(u"planning"_s) + u"}"_s, Category::planning},
        {"capitalised category", u"{"_s + members.arg(u"Writing"_s) + u"}"_s, Category::writing},
        {"padded category", u"{"_s + members.arg(u" rewrite"_s) + u"}"_s, Category::writing},
        {"unknown category", u"{"_s + members.arg(u"research"_s) + u"}"_s, Category::writing},
    };
    for (const Case &c : cases) {
        const InstructionLibraryEntry entry = draft(c.reply);
        EXPECT_EQ(entry.title, u"周报"_s) << c.name;
        EXPECT_EQ(entry.promptTemplate, u"你是周报助手。"_s) << c.name;
        EXPECT_EQ(entry.category, c.category) << c.name;
    }

    // An empty title is the caller's to reject.
    const InstructionLibraryEntry untitled =
        draft(uR"({"title":"","summary":"","category":"prompt","prompt_template":"p"})"_s);
    EXPECT_EQ(untitled.title, u""_s);
    EXPECT_TRUE(untitled.invocationPhrases.isEmpty());
    EXPECT_EQ(untitled.invocationHint, u"用指令 + 你的内容"_s);

    const QString unusable[] = {
        u"}"_s + u"{"_s + members.arg(u"writing"_s), // "}" only before the first "{"
        u"{"_s + members.arg(u"writing"_s),          // never closed
        uR"({"title":"周报","summary":"写周报。","category":"writing"})"_s, // no prompt
        uR"({"title":"周报","summary":"写周报。","category":"writing","prompt_template":7})"_s,
        uR"({"title":null,"summary":"写周报。","category":"writing","prompt_template":"p"})"_s,
        u"我无法完成这个请求。"_s,
    };
    for (const QString &reply : unusable) {
        server.enqueue(StandInHttpReply::json(200, chatReply(reply)));
        const Error error = errorOf<Error>(service().draftCustomEntry(u"写周报"_s));
        EXPECT_EQ(error.kind(), Error::Kind::invalidJSON) << reply.toStdString();
        EXPECT_EQ(error.localizedDescription(), u"指令草稿没有返回合法 JSON。"_s);
    }

    EXPECT_EQ(InstructionLibraryAIService::extractJSONObjectString(u"a {x} b {y} c"_s),
              u"{x} b {y}"_s);
    EXPECT_EQ(InstructionLibraryAIService::extractJSONObjectString(u"} {"_s), std::nullopt);
    EXPECT_EQ(InstructionLibraryAIService::extractJSONObjectString(u"no braces"_s), std::nullopt);
}

TEST_F(InstructionLibraryAIServiceTest, NothingIsSentWithoutInputDescriptionOrModel) {
    const InstructionLibraryEntry &entry = InstructionLibraryCatalog::builtinEntries()[0];
    const Error blankInput = errorOf<Error>(service().execute(entry, u" \n\u3000"_s));
    EXPECT_EQ(blankInput.kind(), Error::Kind::emptyRenderedText);
    const Error blankDescription = errorOf<Error>(service().draftCustomEntry(u"\t\n"_s));
    EXPECT_EQ(blankDescription.kind(), Error::Kind::invalidRequest);
    EXPECT_EQ(blankDescription.localizedDescription(), u"指令请求构造失败。"_s);

    for (const QString &model : {u""_s, u"  "_s, u"\n"_s}) {
        VellupStructuredFormatterConfiguration noModel = configuration();
        noModel.model = model;
        EXPECT_EQ(errorOf<Error>(service(noModel).execute(entry, u"x"_s)).kind(),
                  Error::Kind::invalidRequest);
        EXPECT_EQ(errorOf<Error>(service(noModel).draftCustomEntry(u"x"_s)).kind(),
                  Error::Kind::invalidRequest);
    }
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_TRUE(server.requests().empty());

    // A padded model is sent as stored; blank credentials are left out.
    VellupStructuredFormatterConfiguration padded = configuration();
    padded.model = u" test-model "_s;
    padded.secretKey = u"  "_s;
    padded.agentID = u""_s;
    server.enqueue(StandInHttpReply::json(200, chatReply(u"ok"_s)));
    runTask(service(padded).execute(entry, u"x"_s));
    EXPECT_EQ(jsonObject(lastRequest().body)[u"model"_s], u" test-model "_s);
    EXPECT_EQ(lastRequest().headerCount("Authorization"), 0);
    EXPECT_EQ(lastRequest().headerCount("X-Agent-Id"), 0);
}

TEST_F(InstructionLibraryAIServiceTest, ReplyFailuresCarryTheirTexts) {
    const auto executing = [&] {
        return service().execute(InstructionLibraryCatalog::builtinEntries()[0], u"x"_s);
    };

    server.enqueue(StandInHttpReply::json(429, R"({"message":"rate limited"})"));
    const Error limited = errorOf<Error>(executing());
    EXPECT_EQ(limited.kind(), Error::Kind::serverError);
    EXPECT_EQ(limited.status(), 429);
    EXPECT_EQ(limited.localizedDescription(),
              u"指令请求失败（429）：{\"message\":\"rate limited\"}"_s);

    server.enqueue(StandInHttpReply::text(502, QByteArray("\xff\xfe bad gateway")));
    EXPECT_EQ(errorOf<Error>(service().draftCustomEntry(u"写周报"_s)).localizedDescription(),
              u"指令请求失败（502）：unknown error"_s);

    server.enqueue(StandInHttpReply::text(300, "多种选择"_ba));
    EXPECT_EQ(errorOf<Error>(executing()).localizedDescription(),
              u"指令请求失败（300）：多种选择"_s);

    struct Case {
        QByteArray body;
        Error::Kind kind;
        QString text;
    };
    const Case cases[] = {
        {R"({"choices":[]})", Error::Kind::invalidResponse, u"指令结果无法解析。"_s},
        {R"({"choices":[{"message":"hi"}]})", Error::Kind::invalidResponse,
         u"指令结果无法解析。"_s},
        {R"(["not","an","object"])", Error::Kind::invalidResponse, u"指令结果无法解析。"_s},
        {chatReply(42), Error::Kind::invalidResponse, u"指令结果无法解析。"_s},
        {chatReply(u" \n\t"_s), Error::Kind::emptyContent, u"指令结果为空。"_s},
    };
    for (const Case &c : cases) {
        server.enqueue(StandInHttpReply::json(200, c.body));
        const Error error = errorOf<Error>(executing());
        EXPECT_EQ(error.kind(), c.kind) << c.body.toStdString();
        EXPECT_EQ(error.localizedDescription(), c.text);
        server.enqueue(StandInHttpReply::json(200, c.body));
        EXPECT_EQ(errorOf<Error>(service().draftCustomEntry(u"写周报"_s)).kind(), c.kind);
    }

    server.enqueue(StandInHttpReply::json(200, "<html>oops</html>"));
    EXPECT_FALSE(errorOf<JsonReplyParseError>(executing()).localizedDescription().isEmpty());

    // Parts of a content array are joined.
    const QJsonArray parts{QJsonObject{{u"type"_s, u"text"_s}, {u"text"_s, u"a"_s}},
                           QJsonObject{{u"type"_s, u"image_url"_s}},
                           QJsonObject{{u"type"_s, u"text"_s}, {u"text"_s, u"b"_s}}};
    server.enqueue(StandInHttpReply::json(200, chatReply(parts)));
    EXPECT_EQ(runTask(executing()), u"ab"_s);
}

TEST_F(InstructionLibraryAIServiceTest, TransportFailuresPassThroughUnchanged) {
    // The network stack resends once on a connection closed without a
    // reply, so every attempt is dropped.
    server.setHandler([](const RecordedHttpRequest &) { return StandInHttpReply::dropped(); });
    EXPECT_EQ(errorOf<HttpTransportError>(service().draftCustomEntry(u"写周报"_s)).kind(),
              HttpTransportError::Kind::NotConnected);
    EXPECT_TRUE(errorOf<HttpTransportError>(
                    service().execute(InstructionLibraryCatalog::builtinEntries()[0], u"x"_s))
                    .localizedDescription()
                    .contains(u"Socket is not connected"_s));
}

// Answers chosen by the test, for what a server cannot be made to send
// (informational statuses) and what never reaches the wire (the timeout).
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

TEST(InstructionLibraryAIServiceStatus, OnlyTwoHundredsSucceedAndTheTimeoutIsAMinute) {
    auto transport = std::make_shared<ScriptedTransport>();
    const InstructionLibraryAIService service(
        {QUrl(u"https://llm.example/chat"_s), u"m"_s, u""_s, u""_s, u"key"_s}, transport);
    const auto statusOutcome = [&](int status) -> QString {
        transport->reply = HttpResponse{status, {}, chatReply(u"好"_s)};
        try {
            return runTask(service.execute(InstructionLibraryCatalog::builtinEntries()[0], u"x"_s));
        } catch (const Error &error) {
            return error.localizedDescription();
        }
    };
    EXPECT_EQ(statusOutcome(199),
              u"指令请求失败（199）："_s + QString::fromUtf8(chatReply(u"好"_s)));
    EXPECT_EQ(statusOutcome(200), u"好"_s);
    EXPECT_EQ(statusOutcome(299), u"好"_s);
    EXPECT_TRUE(statusOutcome(300).startsWith(u"指令请求失败（300）："_s));

    ASSERT_FALSE(transport->requests.empty());
    EXPECT_EQ(transport->requests.front().method, "POST");
    EXPECT_EQ(transport->requests.front().timeout, std::chrono::seconds(60));
    EXPECT_EQ(transport->requests.front().url, QUrl(u"https://llm.example/chat"_s));
}

} // namespace
} // namespace tovalit
