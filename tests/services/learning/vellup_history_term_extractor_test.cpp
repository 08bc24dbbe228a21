#include "services/learning/vellup_history_term_extractor.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
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
using Error = VellupHistoryTermExtractorError;
using Extractor = VellupHistoryTermExtractor;
using testing::chatReply;
using testing::RecordedHttpRequest;
using testing::runTask;
using testing::StandInHttpReply;
using testing::StandInHttpServer;

class VellupHistoryTermExtractorTest : public ::testing::Test {
protected:
    VellupStructuredFormatterConfiguration configuration(QString model = u"test-model"_s) const {
        return {server.url(u"/v1/chat/completions"_s), std::move(model), u"app-3"_s, u" "_s, u""_s};
    }

    QStringList extract(const QString &transcript) {
        return runTask(Extractor(configuration()).extractTerms(transcript));
    }

    QStringList termsOf(const QJsonValue &content) {
        server.enqueue(StandInHttpReply::json(200, chatReply(content)));
        return extract(u"今天讨论了 MivoPad 和 Cursor。"_s);
    }

    template <typename Exception>
    Exception failureWith(StandInHttpReply reply) {
        server.enqueue(std::move(reply));
        try {
            const QStringList terms = extract(u"一条转写"_s);
            ADD_FAILURE() << "extracted " << terms.join(u',').toStdString();
        } catch (const Exception &error) {
            return error;
        }
        throw std::logic_error("unreachable");
    }

    StandInHttpServer server;
};

TEST_F(VellupHistoryTermExtractorTest, SendsOneTranscriptWithTheExtractionPrompt) {
    server.enqueue(StandInHttpReply::json(200, chatReply(uR"({"terms":["MivoPad","Corvix"]})"_s)));
    EXPECT_EQ(extract(u"\n 今天讨论了 MivoPad 和 Cursor。 "_s),
              (QStringList{u"MivoPad"_s, u"Corvix"_s}));

    ASSERT_EQ(server.requests().size(), 1u);
    const RecordedHttpRequest &request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/v1/chat/completions");
    EXPECT_EQ(request.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(request.headerCount("Authorization"), 0);
    EXPECT_EQ(request.header("X-App-Id"), "app-3");
    EXPECT_EQ(request.headerCount("X-Agent-Id"), 0);

    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(body.keys(), (QStringList{u"max_tokens"_s, u"messages"_s, u"model"_s, u"stream"_s,
                                        u"temperature"_s, u"thinking"_s}));
    EXPECT_EQ(body.value(u"model"_s), u"test-model"_s);
    EXPECT_EQ(body.value(u"max_tokens"_s), 160);
    EXPECT_EQ(body.value(u"temperature"_s).toDouble(-1), 0.0);
    EXPECT_EQ(body.value(u"stream"_s), false);
    EXPECT_EQ(body.value(u"thinking"_s), QJsonObject({{u"type"_s, u"disabled"_s}}));
    const QJsonArray messages = body.value(u"messages"_s).toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(
        messages[1].toObject(),
        QJsonObject({{u"role"_s, u"user"_s}, {u"content"_s, u"今天讨论了 MivoPad 和 Cursor。"_s}}));
    const QString prompt = messages[0].toObject().value(u"content"_s).toString();
    EXPECT_EQ(messages[0].toObject().value(u"role"_s), u"system"_s);
    EXPECT_EQ(prompt.split(u'\n').size(), 25);
    EXPECT_EQ(prompt.toUtf8().size(), 774);
    EXPECT_TRUE(prompt.startsWith(u"你是 Tovalit 的历史术语抽取器。\n\n"_s));
    EXPECT_TRUE(
        prompt.endsWith(u"输出格式：\n{\"terms\":[\"MacBook\",\"Cursor\",\"火山引擎\"]}"_s));

    // The key is sent as stored when it is not blank.
    VellupStructuredFormatterConfiguration keyed = configuration();
    keyed.secretKey = u" sk-1"_s;
    EXPECT_EQ(Extractor::buildRequest(keyed, u"x"_s).headers.at(1),
              (QPair<QByteArray, QByteArray>("Authorization", "Bearer  sk-1")));
    EXPECT_EQ(Extractor::buildRequest(keyed, u"x"_s).timeout, std::chrono::seconds(60));
}

TEST_F(VellupHistoryTermExtractorTest, NothingIsSentForABlankTranscriptOrABlankModel) {
    EXPECT_EQ(extract(u" \n\u3000"_s), QStringList());
    try {
        runTask(Extractor(configuration(u"  "_s)).extractTerms(u"MivoPad"_s));
        ADD_FAILURE() << "a blank model must not make a request";
    } catch (const Error &error) {
        EXPECT_EQ(error, Error::invalidRequest());
        EXPECT_EQ(error.localizedDescription(), u"历史术语抽取请求构造失败。"_s);
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(VellupHistoryTermExtractorTest, FailedAndUnreadableReplies) {
    const Error unauthorized = failureWith<Error>(StandInHttpReply::text(401, "unauthorized"));
    EXPECT_EQ(unauthorized, Error::serverError(401, u"unauthorized"_s));
    EXPECT_EQ(unauthorized.localizedDescription(), u"历史术语抽取失败（401）：unauthorized"_s);
    EXPECT_EQ(failureWith<Error>(StandInHttpReply::text(500, "\xc3\x28")),
              Error::serverError(500, u"unknown error"_s));

    const struct {
        const char *name;
        QByteArray body;
        Error error;
    } cases[] = {
        {"no choices", R"({"choices":[]})", Error::invalidResponse()},
        {"no message", R"({"choices":[{"text":"{}"}]})", Error::invalidResponse()},
        {"choices not objects", R"({"choices":[{"message":{"content":"x"}},2]})",
         Error::invalidResponse()},
        {"array at the top", R"([{"choices":[]}])", Error::invalidResponse()},
        {"content a number", R"({"choices":[{"message":{"content":7}}]})",
         Error::invalidResponse()},
        {"content of spaces", chatReply(u"   "_s), Error::emptyContent()},
        {"no object", chatReply(u"没有术语"_s), Error::invalidJSON()},
        {"terms not strings", chatReply(uR"({"terms":["A",1]})"_s), Error::invalidJSON()},
        {"terms missing", chatReply(uR"({"words":["MivoPad"]})"_s), Error::invalidJSON()},
        {"braces backwards", chatReply(uR"(} "terms" {)"_s), Error::invalidJSON()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(failureWith<Error>(StandInHttpReply::json(200, c.body)), c.error) << c.name;
    EXPECT_EQ(Error::emptyContent().localizedDescription(), u"历史术语抽取没有返回内容。"_s);
    EXPECT_EQ(Error::invalidJSON().localizedDescription(), u"历史术语抽取没有返回合法 JSON。"_s);
    EXPECT_EQ(Error::invalidResponse().localizedDescription(),
              u"历史术语抽取返回了无法解析的内容。"_s);

    failureWith<JsonReplyParseError>(StandInHttpReply::text(200, "not json"));
}

TEST_F(VellupHistoryTermExtractorTest, TermsAreFilteredDeduplicatedAndCapped) {
    const QJsonArray parts{QJsonObject{{u"type"_s, u"text"_s}, {u"text"_s, u"{\"terms\":"_s}},
                           QJsonObject{{u"type"_s, u"image_url"_s}},
                           QJsonObject{{u"text"_s, u"[\"Kovarindel\"]}"_s}}};
    EXPECT_EQ(termsOf(parts), QStringList{u"Kovarindel"_s});
    EXPECT_EQ(termsOf(u"<think>用户提到了设备</think>\n```json\n{\"terms\":[\"MivoPad\"]}\n```"_s),
              QStringList{u"MivoPad"_s});
    EXPECT_EQ(termsOf(uR"({"terms":["MivoPad","MIVOPAD"," 火山引擎。","Mivo Pad","内容","产品",
                      "mivopad","This","词库"]})"_s),
              (QStringList{u"MivoPad"_s, u"火山引擎"_s, u"This"_s}));
    EXPECT_EQ(termsOf(uR"({"terms":["A1","B2","C3","D4","E5","F6","G7","H8","I9","J10"]})"_s),
              (QStringList{u"A1"_s, u"B2"_s, u"C3"_s, u"D4"_s, u"E5"_s, u"F6"_s}));
    EXPECT_EQ(termsOf(uR"({"terms":[]})"_s), QStringList());

    EXPECT_EQ(Extractor::extractJSONObjectString(u"x {\"a\":{}} y"_s), u"{\"a\":{}}"_s);
    EXPECT_EQ(Extractor::extractJSONObjectString(u"} {"_s), u"} {"_s);
}

} // namespace
} // namespace tovalit
