#include "services/text_processing/chat_completions_envelope.h"

#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/json_text.h"
#include "support/textkit.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace tovalit {

namespace {

// A key pasted with its trailing line break must neither break the request
// nor smuggle in another header; the rest of the value goes out as stored.
QByteArray headerValue(QString value) {
    value.remove(u'\r');
    value.remove(u'\n');
    return value.toUtf8();
}

void appendHeaderIfPresent(HttpHeaders &headers, const QByteArray &name, const QString &value,
                           const QByteArray &prefix = {}) {
    if (textkit::isBlank(value))
        return;
    headers.emplaceBack(name, QByteArray(prefix + headerValue(value)));
}

// The text of a reply's "content": a string, or the "text" members of an
// array of parts (image and other parts without text are skipped).
std::optional<QString> contentText(const QJsonValue &content) {
    if (content.isString())
        return content.toString();
    if (!content.isArray())
        return std::nullopt;
    QString text;
    for (const QJsonValue &part : content.toArray()) {
        if (!part.isObject())
            return std::nullopt;
        const QJsonValue partText = part.toObject().value(QStringLiteral("text"));
        if (partText.isString())
            text += partText.toString();
    }
    return text;
}

} // namespace

HttpRequest
ChatCompletionsEnvelope::buildRequest(const VellupStructuredFormatterConfiguration &configuration,
                                      const QJsonObject &body) {
    HttpRequest request;
    request.method = "POST";
    request.url = configuration.chatURL;
    request.timeout = requestTimeout;
    request.headers.emplaceBack("Content-Type", "application/json; charset=utf-8");
    appendHeaderIfPresent(request.headers, "Authorization", configuration.secretKey, "Bearer ");
    appendHeaderIfPresent(request.headers, "X-App-Id", configuration.appID);
    appendHeaderIfPresent(request.headers, "X-Agent-Id", configuration.agentID);
    request.body = json::compact(body);
    return request;
}

QJsonObject ChatCompletionsEnvelope::buildBody(const QString &model, const QJsonArray &messages,
                                               double temperature, qint64 maxTokens,
                                               const QJsonObject &thinking) {
    return QJsonObject{
        {QStringLiteral("model"), model},
        {QStringLiteral("messages"), messages},
        {QStringLiteral("temperature"), temperature},
        {QStringLiteral("max_tokens"), maxTokens},
        {QStringLiteral("stream"), false},
        {QStringLiteral("thinking"), thinking},
    };
}

QJsonObject ChatCompletionsEnvelope::message(const QString &role, const QString &content) {
    return QJsonObject{{QStringLiteral("role"), role}, {QStringLiteral("content"), content}};
}

QJsonObject ChatCompletionsEnvelope::disabledThinking() {
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("disabled")}};
}

QString ChatCompletionsEnvelope::serverMessage(QByteArrayView body) {
    return textkit::decodeUtf8Strict(body).value_or(QStringLiteral("unknown error"));
}

std::optional<QString> ChatCompletionsEnvelope::assistantContent(QByteArrayView body) {
    QJsonParseError parseError{};
    const QJsonDocument document = json::parse(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw JsonReplyParseError(parseError.errorString() + QStringLiteral(" (offset ") +
                                  QString::number(parseError.offset) + u')');
    }
    if (!document.isObject())
        return std::nullopt;

    const QJsonValue choices = document.object().value(QStringLiteral("choices"));
    const QJsonArray choiceList = choices.toArray();
    if (!choices.isArray() || choiceList.isEmpty())
        return std::nullopt;
    for (const QJsonValue &choice : choiceList) {
        if (!choice.isObject())
            return std::nullopt;
    }
    const QJsonValue message = choiceList.first().toObject().value(QStringLiteral("message"));
    if (!message.isObject())
        return std::nullopt;

    const auto text = contentText(message.toObject().value(QStringLiteral("content")));
    if (!text)
        return std::nullopt;
    return textkit::trimmed(*text);
}

} // namespace tovalit
