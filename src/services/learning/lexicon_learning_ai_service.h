#pragma once

#include "models/observed_insertion_edit_session.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "services/learning/lexicon_learning_ai_analysis.h"
#include "services/learning/lexicon_learning_ai_service_error.h"
#include "support/http_transport.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

// Asks the language model whether the user's correction of inserted text
// should teach the personal lexicon: one chat-completions request holding
// the edit, answered with a JSON verdict. Holds nothing but its
// configuration and transport; made for one analysis and then dropped.
class LexiconLearningAIService {
public:
    // Without a transport the service uses liveTransport().
    explicit LexiconLearningAIService(VellupStructuredFormatterConfiguration configuration,
                                      std::shared_ptr<HttpTransport> transport = nullptr);

    // The verdict exactly as decoded (callers read normalizedCandidates()).
    // Throws LexiconLearningAIServiceError, JsonReplyParseError for a 2xx
    // body that is not JSON, and the transport's HttpTransportError
    // unchanged. The task does not refer to this service.
    QCoro::Task<LexiconLearningAIAnalysis> analyze(ObservedInsertionEditSession session) const;

    // The network transport of the calling thread, shared with the other
    // chat-completions clients.
    static std::shared_ptr<HttpTransport> liveTransport();

    const VellupStructuredFormatterConfiguration &configuration() const { return m_configuration; }

    // --- The request -----------------------------------------------------------

    static const QString &systemPrompt();
    // Throws invalidRequest for a chat URL that is not a URL or a blank
    // model; nothing is sent then.
    static HttpRequest buildRequest(const VellupStructuredFormatterConfiguration &configuration,
                                    const ObservedInsertionEditSession &session);
    static QJsonObject buildRequestBody(const VellupStructuredFormatterConfiguration &configuration,
                                        const ObservedInsertionEditSession &session);
    // Trimmed, then cut to its first `limit` characters without a mark.
    static QString truncatedForPrompt(QStringView text, qsizetype limit);
    // Pretty-printed with sorted keys, one member per line.
    static QString serializeUserPayload(const QJsonObject &payload);

    // --- The reply -------------------------------------------------------------

    // "resetAt" of an error body (a number, or a text holding one), always
    // read as milliseconds since 1970.
    static std::optional<QDateTime> parseResetAt(QByteArrayView body);
    // The trimmed assistant text. Throws JsonReplyParseError,
    // invalidResponse (with the body as raw content) or emptyContent.
    static QString extractAssistantContent(QByteArrayView body);
    // The first place of a reply that holds text: "output_text", the first
    // choice's message, delta, content or text, "output", "message".
    static std::optional<QString> extractAssistantText(const QJsonObject &reply);
    // The text of one JSON value: a string; an object's "text",
    // "output_text", "content", "parts", "delta" or "value"; the texts of an
    // array's elements joined.
    static std::optional<QString> extractText(const QJsonValue &value);
    // The analysis in one gathered JSON text, after the envelope and
    // trailing commas are cleaned away.
    static std::optional<LexiconLearningAIAnalysis> tryDecodeAnalysis(QStringView text);

    // --- Recovering JSON from the assistant's text ------------------------------
    // The request prefills "{", so the answer often lacks it; models also
    // wrap it in fences or think tags, leave trailing commas or stop early.

    // Trimmed, without byte order marks, think tags and code-fence marks.
    static QString normalizedJSONEnvelopeText(QStringView text);
    // The normalised text cut to its outermost braces (or brackets).
    static QString extractJSONText(QStringView text);
    // Drops a comma that only white space separates from "}" or "]".
    static QString removeTrailingCommas(QStringView text);
    // Every balanced top-level object, in order; braces in strings ignored.
    static QStringList extractJSONCandidates(QStringView text);
    // The text with whatever it left open closed, innermost first.
    static std::optional<QString> balanceJSONObjectCandidate(QStringView text);
    // The continuation of the prefilled "{".
    static bool looksLikeSeededRootObjectRemainder(QStringView text);
    static QStringList repairedJSONCandidates(QStringView text);
    // Every candidate JSON text of an answer, distinct, in the order they
    // are tried.
    static QStringList analysisJSONCandidates(QStringView content);

private:
    static QCoro::Task<LexiconLearningAIAnalysis>
    run(VellupStructuredFormatterConfiguration configuration,
        std::shared_ptr<HttpTransport> transport, ObservedInsertionEditSession session);

    VellupStructuredFormatterConfiguration m_configuration;
    std::shared_ptr<HttpTransport> m_transport;
};

} // namespace tovalit
