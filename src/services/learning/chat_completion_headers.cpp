#include "services/learning/chat_completion_headers.h"

#include "support/textkit.h"

namespace tovalit {

namespace {

void appendIfPresent(HttpHeaders &headers, const QByteArray &name, QString value,
                     const QByteArray &prefix = {}) {
    if (textkit::isBlank(value))
        return;
    value.remove(u'\r');
    value.remove(u'\n');
    headers.emplaceBack(name, prefix + value.toUtf8());
}

} // namespace

HttpHeaders chatCompletionHeaders(const VellupStructuredFormatterConfiguration &configuration) {
    HttpHeaders headers;
    headers.emplaceBack("Content-Type", "application/json; charset=utf-8");
    appendIfPresent(headers, "Authorization", configuration.secretKey, "Bearer ");
    appendIfPresent(headers, "X-App-Id", configuration.appID);
    appendIfPresent(headers, "X-Agent-Id", configuration.agentID);
    return headers;
}

} // namespace tovalit
