#pragma once

#include "models/vellup_structured_formatter_configuration.h"
#include "support/http_transport.h"

namespace tovalit {

// The headers every chat-completions request of lexicon learning carries:
// the JSON content type, then "Authorization" ("Bearer " and the key),
// "X-App-Id" and "X-Agent-Id", each only when its setting is not blank and
// with its value as stored. Line breaks are dropped from the values, so a
// key pasted with its trailing newline neither breaks the request nor
// smuggles in another header.
HttpHeaders chatCompletionHeaders(const VellupStructuredFormatterConfiguration &configuration);

} // namespace tovalit
