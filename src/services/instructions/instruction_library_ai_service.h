#pragma once

#include "models/instruction_library_entry.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "support/clock.h"
#include "support/http_transport.h"

#include <QString>
#include <QStringView>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

// Talks to the chat-completions endpoint for the instruction library: runs
// an instruction's prompt on a text, and drafts a custom entry from a
// spoken description. Holds nothing but its configuration, transport and
// clock; made for one call. Never retries and never falls back: the caller
// decides what a failure means to the user.
class InstructionLibraryAIService {
public:
    // Without a transport the shared network transport of the calling
    // thread is used. `clock` stamps drafted entries.
    explicit InstructionLibraryAIService(VellupStructuredFormatterConfiguration configuration,
                                         std::shared_ptr<HttpTransport> transport = nullptr,
                                         Clock clock = systemClock());

    // The model's answer to the entry's prompt for `input`, without a
    // surrounding code fence; trimmed and never empty. Throws
    // InstructionLibraryAIServiceError, JsonReplyParseError for a reply that
    // is not JSON, and the transport's HttpTransportError unchanged. A blank
    // input fails without a request. The task does not refer to this
    // service, which may go away before it finishes.
    QCoro::Task<QString> execute(InstructionLibraryEntry entry, QString input) const;

    // A new enabled custom entry (900 tokens) that is not stored anywhere
    // yet; phrases and hint derive from the drafted title. Throws as
    // execute(); a blank description fails without a request.
    QCoro::Task<InstructionLibraryEntry> draftCustomEntry(QString description) const;

    // The system message of every draft request.
    static const QString &draftPrompt();

    // --- Reading the answer --------------------------------------------------

    // The answer without the fence around it when it both starts and ends
    // with one; a "markdown", "md" or "text" tag goes with the fence.
    static QString normalizedExecutionText(QStringView text);
    // From the first "{" through the last "}", when there is a "}" after
    // that "{".
    static std::optional<QString> extractJSONObjectString(QStringView text);
    // The custom entry a draft answer describes, dated `now`. Throws
    // invalidJSON unless the answer holds an object with the four texts.
    static InstructionLibraryEntry draftedEntry(QStringView content, const QDateTime &now);

private:
    static QCoro::Task<QString> runExecution(VellupStructuredFormatterConfiguration configuration,
                                             std::shared_ptr<HttpTransport> transport,
                                             InstructionLibraryEntry entry, QString input);
    static QCoro::Task<InstructionLibraryEntry>
    runDraft(VellupStructuredFormatterConfiguration configuration,
             std::shared_ptr<HttpTransport> transport, Clock clock, QString description);
    static QCoro::Task<QString> requestAssistantContent(std::shared_ptr<HttpTransport> transport,
                                                        HttpRequest request);

    VellupStructuredFormatterConfiguration m_configuration;
    std::shared_ptr<HttpTransport> m_transport;
    Clock m_clock;
};

} // namespace tovalit
