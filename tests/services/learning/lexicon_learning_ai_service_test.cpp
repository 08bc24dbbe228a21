#include "services/learning/lexicon_learning_ai_service.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/textkit.h"
#include "tests/support/chat_replies.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/stand_in_http_server.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using Error = LexiconLearningAIServiceError;
using Service = LexiconLearningAIService;
using testing::chatReply;
using testing::jsonObject;
using testing::RecordedHttpRequest;
using testing::runTask;
using testing::StandInHttpReply;
using testing::StandInHttpServer;

const ObservedInsertionEditSession edit{
    QUuid::fromString(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s),
    u"我在用飞数写文档"_s,
    u"今天我在用飞数写文档"_s,
    u"今天我在用飞书写文档"_s,
    u"文本编辑器"_s,
    std::nullopt};

class LexiconLearningAIServiceTest : public ::testing::Test {
protected:
    VellupStructuredFormatterConfiguration configuration(QString model = u"test-model"_s) const {
        // The key keeps its blanks after "Bearer "; the blank app id is not
        // sent.
        return {server.url(u"/api/v3/chat/completions"_s), std::move(model), u" \t"_s, u"agent-9"_s,
                u" sk-key "_s};
    }

    LexiconLearningAIAnalysis analyze(const ObservedInsertionEditSession &session = edit) {
        return runTask(Service(configuration()).analyze(session));
    }

    template <typename Exception>
    Exception failureOf(const ObservedInsertionEditSession &session = edit) {
        try {
            analyze(session);
        } catch (const Exception &error) {
            return error;
        }
        throw std::logic_error("the analysis did not fail as expected");
    }

    StandInHttpServer server;
};

TEST_F(LexiconLearningAIServiceTest, SendsTheEditWithItsPromptAndThePrefilledBrace) {
    server.enqueue(StandInHttpReply::json(
        200, chatReply(uR"("shouldLearn": true, "summary": "专有名词", "candidates": [
            {"kind": "replacement", "sourceText": "飞数", "targetText": "飞书", "shareable": true,
             "confidence": 0.92}]})"_s)));

    // Characters are grapheme clusters: "é" written as e + U+0301 is one.
    const QString character = u"e\u0301"_s;
    ObservedInsertionEditSession long_ = edit;
    long_.originalInsertedText = u"  "_s + character.repeated(281) + u"\n"_s;
    long_.originalFieldText = u"\t"_s + u"字"_s.repeated(900) + u" "_s;
    long_.finalFieldText = u"字"_s.repeated(901);
    long_.appName = std::nullopt;
    long_.windowTitle = u" 标题 "_s;

    const LexiconLearningAIAnalysis analysis = analyze(long_);
    EXPECT_TRUE(analysis.shouldLearn);
    ASSERT_EQ(analysis.candidates.size(), 1);
    EXPECT_EQ(analysis.candidates.at(0).targetText, u"飞书"_s);

    ASSERT_EQ(server.requests().size(), 1u);
    const RecordedHttpRequest &request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/v3/chat/completions");
    EXPECT_EQ(request.header("Content-Type"), "application/json; charset=utf-8");
    // HTTP drops blanks at the end of a header value on the wire.
    EXPECT_EQ(request.header("Authorization"), "Bearer  sk-key");
    EXPECT_EQ(request.headerCount("X-App-Id"), 0);
    EXPECT_EQ(request.header("X-Agent-Id"), "agent-9");
    EXPECT_FALSE(request.body.contains('\n')) << "the body is compact JSON";

    const QJsonObject body = jsonObject(request.body);
    EXPECT_EQ(body.value(u"model"_s), u"test-model"_s);
    EXPECT_EQ(body.value(u"temperature"_s).toDouble(-1), 0.0);
    EXPECT_EQ(body.value(u"max_tokens"_s), 1200);
    EXPECT_EQ(body.value(u"stream"_s), false);
    EXPECT_EQ(body.value(u"thinking"_s), QJsonObject({{u"type"_s, u"disabled"_s}}));
    EXPECT_EQ(body.keys().size(), 6);

    const QJsonArray messages = body.value(u"messages"_s).toArray();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages[0].toObject().keys(), (QStringList{u"content"_s, u"role"_s}));
    EXPECT_EQ(messages[0].toObject().value(u"role"_s), u"system"_s);
    const QString prompt = messages[0].toObject().value(u"content"_s).toString();
    EXPECT_EQ(prompt.toUtf8().size(), 1833);
    EXPECT_EQ(prompt.count(u'\n'), 30);
    EXPECT_TRUE(prompt.startsWith(u"你是个人词库学习判断器。你的任务是判断“语音转写后"_s));
    EXPECT_TRUE(prompt.contains(u"\n      \"confidence\": 0.93\n    }\n  ]\n}"_s));
    EXPECT_TRUE(prompt.endsWith(u"]\n}"_s));
    EXPECT_EQ(messages[1].toObject().value(u"role"_s), u"user"_s);
    EXPECT_EQ(messages[2].toObject(),
              QJsonObject({{u"role"_s, u"assistant"_s}, {u"content"_s, u"{"_s}}));

    // The user content: one member per line, keys sorted, texts trimmed and
    // cut without a mark, absent names sent as "".
    const QString user = messages[1].toObject().value(u"content"_s).toString();
    const QStringList lines = user.split(u'\n');
    ASSERT_EQ(lines.size(), 7) << user.toStdString();
    QStringList keyOrder;
    for (const QString &line : lines.mid(1, 5))
        keyOrder.append(line.section(u'"', 1, 1));
    EXPECT_EQ(keyOrder, (QStringList{u"appName"_s, u"finalFieldText"_s, u"originalFieldText"_s,
                                     u"originalInsertedText"_s, u"windowTitle"_s}));
    const QJsonObject payload = jsonObject(user.toUtf8());
    EXPECT_EQ(payload.value(u"originalInsertedText"_s), character.repeated(280));
    EXPECT_EQ(payload.value(u"originalFieldText"_s), u"字"_s.repeated(900));
    EXPECT_EQ(payload.value(u"finalFieldText"_s), u"字"_s.repeated(900));
    EXPECT_EQ(payload.value(u"appName"_s), u""_s);
    EXPECT_EQ(payload.value(u"windowTitle"_s), u" 标题 "_s);

    const HttpRequest built = Service::buildRequest(configuration(), edit);
    EXPECT_EQ(built.timeout, std::chrono::seconds(60));
    EXPECT_EQ(built.headers.at(1),
              (QPair<QByteArray, QByteArray>("Authorization", "Bearer  sk-key ")));
    EXPECT_EQ(Service::truncatedForPrompt(u" 你好 "_s, 280), u"你好"_s);
    EXPECT_EQ(Service::truncatedForPrompt(u"字"_s.repeated(280), 280), u"字"_s.repeated(280));
}

TEST_F(LexiconLearningAIServiceTest, AnUnusableConfigurationSendsNothing) {
    for (const QString &model : {u""_s, u"  \n"_s}) {
        try {
            runTask(Service(configuration(model)).analyze(edit));
            ADD_FAILURE() << "a blank model must not make a request";
        } catch (const Error &error) {
            EXPECT_EQ(error, Error::invalidRequest());
            EXPECT_EQ(error.localizedDescription(), u"词库学习分析请求构造失败。"_s);
        }
    }
    VellupStructuredFormatterConfiguration broken = configuration();
    broken.chatURL = QUrl(u"http://[::1"_s);
    EXPECT_THROW(runTask(Service(broken).analyze(edit)), Error);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(LexiconLearningAIServiceTest, FailedRepliesCarryStatusBodyAndResetTime) {
    const QDateTime instant = QDateTime(QDate(2026, 3, 7), QTime(9, 30, 15, 250), Qt::UTC);
    const QByteArray milliseconds = QByteArray::number(instant.toMSecsSinceEpoch());
    struct Case {
        const char *name;
        int status;
        QByteArray body;
        QString message;
        std::optional<QDateTime> resetAt;
        std::optional<QDateTime> rateLimitResetAt;
    };
    const QByteArray rateLimited = R"({"error":"rate_limited","resetAt":)" + milliseconds + "}";
    const Case cases[] = {
        {"429 with milliseconds", 429, rateLimited, QString::fromUtf8(rateLimited), instant,
         instant},
        {"429 with the digits as text", 429, R"({"resetAt":")" + milliseconds + "\"}",
         QString::fromUtf8(R"({"resetAt":")" + milliseconds + "\"}"), instant, instant},
        {"seconds still read as milliseconds", 429, R"({"resetAt":1772875815})",
         u"{\"resetAt\":1772875815}"_s, QDateTime::fromMSecsSinceEpoch(1772875815, Qt::UTC),
         QDateTime::fromMSecsSinceEpoch(1772875815, Qt::UTC)},
        {"a fraction of a millisecond", 429, R"({"resetAt":1.5e3})", u"{\"resetAt\":1.5e3}"_s,
         QDateTime::fromMSecsSinceEpoch(1500, Qt::UTC),
         QDateTime::fromMSecsSinceEpoch(1500, Qt::UTC)},
        {"text that is no number", 429, R"({"resetAt":"soon"})", u"{\"resetAt\":\"soon\"}"_s,
         std::nullopt, std::nullopt},
        {"number with blanks", 429, R"({"resetAt":" 1500"})", u"{\"resetAt\":\" 1500\"}"_s,
         std::nullopt, std::nullopt},
        {"500 keeps its reset time to itself", 500, rateLimited, QString::fromUtf8(rateLimited),
         instant, std::nullopt},
        {"plain text", 502, "Bad Gateway\n", u"Bad Gateway\n"_s, std::nullopt, std::nullopt},
        {"not UTF-8", 503, "\xff\xfe\x80", u"unknown error"_s, std::nullopt, std::nullopt},
    };
    for (const Case &c : cases) {
        server.enqueue(StandInHttpReply::json(c.status, c.body));
        const Error error = failureOf<Error>();
        EXPECT_EQ(error, Error::serverError(c.status, c.message, c.resetAt)) << c.name;
        EXPECT_EQ(error.rateLimitResetAt(), c.rateLimitResetAt) << c.name;
        EXPECT_EQ(error.rawContentForAudit(), c.message) << c.name;
        EXPECT_EQ(error.jsonCandidatesForAudit(), std::nullopt) << c.name;
    }
    server.enqueue(StandInHttpReply::json(429, "{}"));
    EXPECT_EQ(failureOf<Error>().localizedDescription(), u"词库学习分析失败（429）：{}"_s);
}

TEST_F(LexiconLearningAIServiceTest, SuccessfulRepliesThatHoldNoAnalysis) {
    server.enqueue(StandInHttpReply::json(200, chatReply(u" \n\t "_s)));
    EXPECT_EQ(failureOf<Error>(), Error::emptyContent());

    server.enqueue(StandInHttpReply::json(200, R"([{"choices":[]}])"));
    Error array = failureOf<Error>();
    EXPECT_EQ(array, Error::invalidResponse(u"[{\"choices\":[]}]"_s, {}));
    EXPECT_EQ(array.rawContentForAudit(), u"[{\"choices\":[]}]"_s);
    EXPECT_EQ(array.jsonCandidatesForAudit(), QStringList());

    server.enqueue(StandInHttpReply::json(200, R"({"choices":[{"finish_reason":"stop"}]})"));
    EXPECT_EQ(failureOf<Error>(),
              Error::invalidResponse(u"{\"choices\":[{\"finish_reason\":\"stop\"}]}"_s, {}));

    server.enqueue(StandInHttpReply::text(200, "upstream says hello"));
    EXPECT_THROW(analyze(), JsonReplyParseError);

    server.enqueue(StandInHttpReply::json(200, chatReply(u"我不确定。"_s)));
    const Error prose = failureOf<Error>();
    EXPECT_EQ(prose, Error::invalidResponse(u"我不确定。"_s, {u"我不确定。"_s}));
    EXPECT_EQ(prose.localizedDescription(), u"词库学习分析返回了无法解析的内容。"_s);
    EXPECT_EQ(prose.jsonCandidatesForAudit(), QStringList{u"我不确定。"_s});

    // A candidate with a capitalised kind spoils the whole answer.
    server.enqueue(StandInHttpReply::json(
        200,
        chatReply(
            uR"({"shouldLearn":true,"candidates":[{"kind":"Hotword","targetText":"A","shareable":true}]})"_s)));
    EXPECT_EQ(failureOf<Error>().kind(), Error::Kind::invalidResponse);
    EXPECT_EQ(server.requests().size(), 6u);
}

TEST(LexiconLearningAIServiceReply, AssistantTextIsFoundWhereverTheEndpointPutsIt) {
    struct Case {
        const char *name;
        const char *body;
        std::optional<QString> text;
    };
    const Case cases[] = {
        {"content parts",
         R"({"choices":[{"message":{"content":[{"type":"text","text":"a"},{"type":"image"},{"text":"b"}]}}]})",
         u"ab"_s},
        {"output_text first",
         R"({"output_text":"first","choices":[{"message":{"content":"second"}}]})", u"first"_s},
        {"message without content", R"({"choices":[{"message":{"text":"m"}}]})", u"m"_s},
        {"message content null falls to delta",
         R"({"choices":[{"message":{"content":null},"delta":{"content":"d"}}]})", u"d"_s},
        {"choice content", R"({"choices":[{"content":[{"parts":["x",{"value":"y"}]}]}]})", u"xy"_s},
        {"choice text", R"({"choices":[{"text":"t"}]})", u"t"_s},
        {"choices not all objects", R"({"choices":[{"text":"t"},1],"output":"o"})", u"o"_s},
        {"output items", R"({"output":[{"content":[{"output_text":"p"}]},{"type":"reasoning"}]})",
         u"p"_s},
        {"top-level message", R"({"message":{"delta":{"text":"q"}}})", u"q"_s},
        {"untrimmed", R"({"output_text":" s "})", u" s "_s},
        {"nothing usable", R"({"choices":[],"output":[1,true,null],"message":7})", std::nullopt},
    };
    for (const Case &c : cases) {
        const QJsonObject reply = QJsonDocument::fromJson(c.body).object();
        EXPECT_EQ(Service::extractAssistantText(reply), c.text) << c.name;
    }
}

} // namespace
} // namespace tovalit
