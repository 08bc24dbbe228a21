// Chat-completions reply bodies as every language-model client reads them:
// the assistant's text, and the message of a failed reply. A text that
// reads must read the same from the plainest reply that carries it.

#include "fuzz_checks.h"
#include "services/text_processing/chat_completions_envelope.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/json_text.h"
#include "support/textkit.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace tovalit;

namespace {

QByteArray replyCarrying(const QString &content) {
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")},
                              {QStringLiteral("content"), content}};
    return json::compact(
        QJsonObject{{QStringLiteral("choices"),
                     QJsonArray{QJsonObject{{QStringLiteral("message"), message}}}}});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    fuzz::requireValidUtf16(ChatCompletionsEnvelope::serverMessage(body), "server message");

    std::optional<QString> content;
    try {
        content = ChatCompletionsEnvelope::assistantContent(body);
    } catch (const JsonReplyParseError &) {
        return 0;
    }
    if (!content)
        return 0;
    fuzz::requireValidUtf16(content, "assistant content");
    FUZZ_CHECK(*content == textkit::trimmed(*content));
    FUZZ_CHECK(ChatCompletionsEnvelope::assistantContent(replyCarrying(*content)) == content);
    return 0;
}
