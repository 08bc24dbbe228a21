#include "services/learning/lexicon_learning_ai_service.h"

#include "services/text_processing/chat_completions_envelope.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/json_text.h"
#include "support/regex.h"
#include "support/textkit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <chrono>
#include <cmath>

// The request and the reading of the reply. Getting JSON out of the
// assistant's text lives in lexicon_learning_ai_reply_recovery.cpp.

namespace tovalit {

namespace {

using Error = LexiconLearningAIServiceError;

constexpr qsizetype insertedTextLimit = 280;
constexpr qsizetype fieldTextLimit = 900;
constexpr int maxAnswerTokens = 1200;

// A JSON document whose top level may only be an object or an array; the
// parser's own failure is passed on.
QJsonDocument parseReply(QByteArrayView body) {
    QJsonParseError parseError{};
    const QJsonDocument document = json::parse(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw JsonReplyParseError(parseError.errorString() + QStringLiteral(" (offset ") +
                                  QString::number(parseError.offset) + u')');
    }
    if (!document.isObject() && !document.isArray())
        throw JsonReplyParseError(QStringLiteral("top level is neither an object nor an array"));
    return document;
}

std::optional<double> resetAtNumber(const QJsonValue &value) {
    if (value.isDouble())
        return value.toDouble();
    if (!value.isString())
        return std::nullopt;
    // A plain decimal number and nothing around it.
    static const textkit::Regex decimal(
        uR"(^[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?$)");
    const QString text = value.toString();
    if (!decimal.matchesEntirely(text))
        return std::nullopt;
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok ? std::optional<double>(number) : std::nullopt;
}

} // namespace

LexiconLearningAIService::LexiconLearningAIService(
    VellupStructuredFormatterConfiguration configuration, std::shared_ptr<HttpTransport> transport)
    : m_configuration(std::move(configuration))
    , m_transport(transport ? std::move(transport) : liveTransport()) {}

std::shared_ptr<HttpTransport> LexiconLearningAIService::liveTransport() {
    return VellupStructuredFormatter::liveTransport();
}

QCoro::Task<LexiconLearningAIAnalysis>
LexiconLearningAIService::analyze(ObservedInsertionEditSession session) const {
    return run(m_configuration, m_transport, std::move(session));
}

QCoro::Task<LexiconLearningAIAnalysis>
LexiconLearningAIService::run(VellupStructuredFormatterConfiguration configuration,
                              std::shared_ptr<HttpTransport> transport,
                              ObservedInsertionEditSession session) {
    HttpRequest request = buildRequest(configuration, session);
    const HttpResponse response = co_await transport->send(std::move(request));
    if (response.status <= 0)
        throw Error::invalidResponse(textkit::decodeUtf8Strict(response.body), {});
    if (!response.isSuccess()) {
        throw Error::serverError(
            response.status,
            textkit::decodeUtf8Strict(response.body).value_or(QStringLiteral("unknown error")),
            parseResetAt(response.body));
    }

    const QString content = extractAssistantContent(response.body);
    const QStringList candidates = analysisJSONCandidates(content);
    for (const QString &candidate : candidates) {
        if (auto analysis = tryDecodeAnalysis(candidate))
            co_return std::move(*analysis);
    }
    throw Error::invalidResponse(content, candidates);
}

const QString &LexiconLearningAIService::systemPrompt() {
    static const QString prompt =
        QStringView(
            uR"prompt(你是个人词库学习判断器。你的任务是判断“语音转写后，用户在编辑器里手动改过的内容”里，哪些修改适合加入个人词库。

只返回 JSON 对象，不要输出解释，不要输出 markdown。

判断规则：
1. 只学习词汇级、术语级、专有名词级、缩写级修正。
2. 不要学习整句改写、语气润色、语法调整、标点修改、段落重写、风格润色。
3. 如果用户一次改了多个独立词汇，可以返回多个 candidates。
4. candidate 必须尽量短小、可独立复用，不能把上下文整句塞进去。
5. 如果用户只是把句子里的某个概念改成新的品牌名、术语或缩写，只学习那个最小目标词，不要把上下文一起带上。
6. 例如把“Cloud云服务的概念”改成“Openclaw”，或者把“Cloud云服务的概念”改成“Openclaw的概念”，都应该返回 hotword=Openclaw，而不是 replacement，也不要学习“的概念”“相关的内容”“这个”“那个”等上下文。
7. kind=replacement 只用于 sourceText 和 targetText 都是最小、可独立复用、可脱离上下文成立的词汇映射，例如 “SU -> SEO” 或 “Git hub -> GitHub”。
8. kind=hotword 表示只需要记住 targetText 这个词，不需要 replacement 映射。
9. shareable=true 仅用于适合共享给其他用户的术语、品牌名、专有名词、缩写词、领域词汇。
10. 如果无法确定，宁可返回 shouldLearn=false 和空 candidates。

输出 JSON schema：
{
  "shouldLearn": true,
  "summary": "一句简短总结",
  "candidates": [
    {
      "kind": "replacement",
      "sourceText": "SU",
      "targetText": "SEO",
      "shareable": false,
      "reason": "用户把错误缩写改成正确术语",
      "confidence": 0.93
    }
  ]
})prompt")
            .toString();
    return prompt;
}

HttpRequest
LexiconLearningAIService::buildRequest(const VellupStructuredFormatterConfiguration &configuration,
                                       const ObservedInsertionEditSession &session) {
    if (!configuration.chatURL.isValid() || configuration.chatURL.isEmpty())
        throw Error::invalidRequest();
    if (textkit::isBlank(configuration.model))
        throw Error::invalidRequest();

    return ChatCompletionsEnvelope::buildRequest(configuration,
                                                 buildRequestBody(configuration, session));
}

QJsonObject LexiconLearningAIService::buildRequestBody(
    const VellupStructuredFormatterConfiguration &configuration,
    const ObservedInsertionEditSession &session) {
    const QJsonObject edit{
        {QStringLiteral("originalInsertedText"),
         truncatedForPrompt(session.originalInsertedText, insertedTextLimit)},
        {QStringLiteral("originalFieldText"),
         truncatedForPrompt(session.originalFieldText, fieldTextLimit)},
        {QStringLiteral("finalFieldText"),
         truncatedForPrompt(session.finalFieldText, fieldTextLimit)},
        {QStringLiteral("appName"), session.appName.value_or(QString())},
        {QStringLiteral("windowTitle"), session.windowTitle.value_or(QString())},
    };
    // The answer is prefilled with "{" so the model starts on the object
    // straight away.
    using Envelope = ChatCompletionsEnvelope;
    const QJsonArray messages{
        Envelope::message(QStringLiteral("system"), systemPrompt()),
        Envelope::message(QStringLiteral("user"), serializeUserPayload(edit)),
        Envelope::message(QStringLiteral("assistant"), QStringLiteral("{")),
    };
    return Envelope::buildBody(configuration.model, messages, 0.0, maxAnswerTokens);
}

QString LexiconLearningAIService::truncatedForPrompt(QStringView text, qsizetype limit) {
    return textkit::graphemePrefix(textkit::trimmed(text), limit);
}

QString LexiconLearningAIService::serializeUserPayload(const QJsonObject &payload) {
    auto text = textkit::decodeUtf8Strict(json::pretty(payload));
    if (!text)
        throw Error::invalidRequest();
    // The writer's final line break means nothing to the model.
    if (text->endsWith(u'\n'))
        text->chop(1);
    return *text;
}

std::optional<QDateTime> LexiconLearningAIService::parseResetAt(QByteArrayView body) {
    const auto reply = json::parseObject(body);
    if (!reply)
        return std::nullopt;
    const auto milliseconds = resetAtNumber(reply->value(QStringLiteral("resetAt")));
    // Beyond what a date can hold there is no reset time to honour.
    constexpr double representable = 8.64e15;
    if (!milliseconds || !std::isfinite(*milliseconds) || std::abs(*milliseconds) > representable)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(std::llround(*milliseconds), Qt::UTC);
}

QString LexiconLearningAIService::extractAssistantContent(QByteArrayView body) {
    const std::optional<QString> rawText = textkit::decodeUtf8Strict(body);
    const QJsonDocument document = parseReply(body);
    if (!document.isObject())
        throw Error::invalidResponse(rawText, {});
    const auto text = extractAssistantText(document.object());
    if (!text)
        throw Error::invalidResponse(rawText, {});
    QString content = textkit::trimmed(*text);
    if (content.isEmpty())
        throw Error::emptyContent();
    return content;
}

std::optional<QString> LexiconLearningAIService::extractAssistantText(const QJsonObject &reply) {
    if (auto text = extractText(reply.value(u"output_text")))
        return text;

    const QJsonValue choices = reply.value(u"choices");
    const QJsonArray choiceList = choices.toArray();
    const bool choicesAreObjects =
        choices.isArray() && !choiceList.isEmpty() &&
        std::all_of(choiceList.begin(), choiceList.end(),
                    [](const QJsonValue &choice) { return choice.isObject(); });
    if (choicesAreObjects) {
        const QJsonObject first = choiceList.first().toObject();
        if (const QJsonValue message = first.value(u"message"); message.isObject()) {
            const QJsonObject messageObject = message.toObject();
            const auto content = messageObject.constFind(u"content");
            if (auto text = extractText(
                    content != messageObject.constEnd() ? *content : QJsonValue(messageObject)))
                return text;
        }
        for (const QStringView key : {u"delta", u"content", u"text"}) {
            if (auto text = extractText(first.value(key)))
                return text;
        }
    }

    if (auto text = extractText(reply.value(u"output")))
        return text;
    return extractText(reply.value(u"message"));
}

std::optional<QString> LexiconLearningAIService::extractText(const QJsonValue &value) {
    if (value.isString())
        return value.toString();
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (const QStringView key : {u"text", u"output_text"}) {
            if (const QJsonValue member = object.value(key); member.isString())
                return member.toString();
        }
        for (const QStringView key : {u"content", u"parts", u"delta"}) {
            if (auto text = extractText(object.value(key)))
                return text;
        }
        if (const QJsonValue member = object.value(u"value"); member.isString())
            return member.toString();
        return std::nullopt;
    }
    if (value.isArray()) {
        std::optional<QString> joined;
        for (const QJsonValue &element : value.toArray()) {
            if (auto text = extractText(element))
                joined = joined.value_or(QString()) + *text;
        }
        return joined;
    }
    return std::nullopt;
}

std::optional<LexiconLearningAIAnalysis>
LexiconLearningAIService::tryDecodeAnalysis(QStringView text) {
    return LexiconLearningAIAnalysis::decode(removeTrailingCommas(extractJSONText(text)).toUtf8());
}

} // namespace tovalit
