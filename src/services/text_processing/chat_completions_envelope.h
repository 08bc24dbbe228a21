#pragma once

#include "models/vellup_structured_formatter_configuration.h"
#include "support/http_transport.h"

#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <optional>

namespace tovalit {

// The request and reply envelope that every chat-completions client of the
// application speaks (formatting, instructions, learning). Each client
// supplies its own messages, temperature and token limit, and maps the
// reply problems to its own errors.
class ChatCompletionsEnvelope {
public:
    ChatCompletionsEnvelope() = delete;

    static constexpr std::chrono::seconds requestTimeout{60};

    // POST to chatURL with the JSON content type, and the bearer key, app
    // id and agent id as stored when they are not blank; the body compact.
    static HttpRequest buildRequest(const VellupStructuredFormatterConfiguration &configuration,
                                    const QJsonObject &body);
    // "model", "messages", "temperature", "max_tokens", "stream" false and
    // "thinking".
    static QJsonObject buildBody(const QString &model, const QJsonArray &messages,
                                 double temperature, qint64 maxTokens,
                                 const QJsonObject &thinking = disabledThinking());
    static QJsonObject message(const QString &role, const QString &content);
    static QJsonObject disabledThinking();

    // What a reply outside 2xx says: its body as UTF-8, or "unknown error".
    static QString serverMessage(QByteArrayView body);
    // The first choice's message text (a string, or the joined "text"
    // members of an array of parts), trimmed: "" when it is blank, nothing
    // when the reply has another shape. Throws JsonReplyParseError for a
    // body that is not JSON.
    static std::optional<QString> assistantContent(QByteArrayView body);
};

} // namespace tovalit
