#pragma once

#include "models/vellup_structured_formatter_configuration.h"
#include "services/text_processing/structured_formatting_task.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/http_transport.h"

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>
#include <QStringView>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>
#include <vector>

namespace tovalit {

// Turns a recognised transcript into the text that is delivered, with one
// chat-completions request: a natural-mode rewrite, a meeting-tree tick, or
// the final minutes. Holds nothing but its configuration and transport;
// made for one request and then dropped.
class VellupStructuredFormatter {
public:
    // Without a transport the formatter uses liveTransport().
    explicit VellupStructuredFormatter(VellupStructuredFormatterConfiguration configuration,
                                       std::shared_ptr<HttpTransport> transport = nullptr);

    // The formatted text, never surrounded by white space; "" for a blank
    // transcript, without a request. Throws VellupStructuredFormatterError,
    // JsonReplyParseError for a reply that is not JSON, and the transport's
    // HttpTransportError unchanged. The returned task does not refer to this
    // formatter, which may go away before it finishes.
    QCoro::Task<QString> format(QString transcript, StructuredFormattingTask task) const;

    // The network transport of the calling thread, shared by every client on
    // it (one connection pool per thread, like a shared URL session).
    static std::shared_ptr<HttpTransport> liveTransport();

    const VellupStructuredFormatterConfiguration &configuration() const { return m_configuration; }

    // --- The chat-completions exchange ---------------------------------------

    // POST to chatURL with the headers and the compact JSON body. Throws
    // invalidRequest for an empty model.
    static HttpRequest buildRequest(const VellupStructuredFormatterConfiguration &configuration,
                                    const QString &transcript, const StructuredFormattingTask &task,
                                    const std::optional<QString> &prefill);
    static QJsonObject buildRequestBody(const VellupStructuredFormatterConfiguration &configuration,
                                        const QString &transcript,
                                        const StructuredFormattingTask &task,
                                        const std::optional<QString> &prefill);
    // The user message: the bare transcript, or a pretty JSON object with
    // sorted keys for natural mode with a context and for meeting ticks.
    static QString buildUserContent(const QString &transcript,
                                    const StructuredFormattingTask &task);
    // The trimmed assistant text of a reply body.
    static QString extractAssistantContent(QByteArrayView body);

    // --- Reading the answer --------------------------------------------------
    // Models wrap the requested {"text": …} in think tags, code fences, extra
    // objects or prose; these readers go from strict to lenient.

    // The final text of a natural-mode or meeting-tick answer: the last JSON
    // object with a non-blank "text", else the loose "text" field, else the
    // answer as prose, else the fallback transcript. Throws
    // emptyStructuredResult only when the fallback is blank too.
    static QString renderStructuredContent(QStringView content, QStringView fallbackTranscript);
    // Every top-level brace-balanced object, in order, ignoring braces
    // inside strings.
    static std::vector<QString> extractJSONCandidates(QStringView text);
    // The text without code fences, cut to its outermost braces.
    static QString extractJSONText(QStringView text);
    // The value of the first "text" string member found by pattern, for
    // answers that are not valid JSON as a whole.
    static std::optional<QString> extractLooseTextField(QStringView text);
    // The answer itself when it reads as prose rather than broken JSON.
    static std::optional<QString> extractPlainTextFallback(QStringView text);

private:
    static QCoro::Task<QString> run(VellupStructuredFormatterConfiguration configuration,
                                    std::shared_ptr<HttpTransport> transport, QString transcript,
                                    StructuredFormattingTask task);
    static QCoro::Task<QString>
    requestStructuredContent(VellupStructuredFormatterConfiguration configuration,
                             std::shared_ptr<HttpTransport> transport, QString transcript,
                             StructuredFormattingTask task, std::optional<QString> prefill);

    VellupStructuredFormatterConfiguration m_configuration;
    std::shared_ptr<HttpTransport> m_transport;
};

} // namespace tovalit
