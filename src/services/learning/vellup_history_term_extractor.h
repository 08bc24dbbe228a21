#pragma once

#include "models/vellup_structured_formatter_configuration.h"
#include "services/learning/vellup_history_term_extractor_error.h"
#include "support/http_transport.h"

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <qcoro/qcorotask.h>

#include <memory>

namespace tovalit {

// Asks the language model for the lexicon-worthy terms (technical terms,
// product, brand, company, person and project names, abbreviations) of one
// history transcript. Holds nothing that changes; one extractor serves a
// whole history learning batch.
class VellupHistoryTermExtractor {
public:
    static constexpr qsizetype maximumTerms = 6;

    // Without a transport the extractor uses the shared live transport of
    // the chat-completions clients.
    explicit VellupHistoryTermExtractor(VellupStructuredFormatterConfiguration configuration,
                                        std::shared_ptr<HttpTransport> transport = nullptr);

    // At most six accepted terms, in the model's order; none for a blank
    // transcript, without a request. Throws VellupHistoryTermExtractorError,
    // JsonReplyParseError for a reply body that is not JSON, and the
    // transport's HttpTransportError unchanged. The task does not refer to
    // this extractor.
    QCoro::Task<QStringList> extractTerms(QString transcript) const;

    const VellupStructuredFormatterConfiguration &configuration() const { return m_configuration; }

    static const QString &systemPrompt();
    // Throws invalidRequest for a blank model.
    static HttpRequest buildRequest(const VellupStructuredFormatterConfiguration &configuration,
                                    const QString &transcript);
    // The trimmed text of the first choice's message. Throws
    // JsonReplyParseError, invalidResponse or emptyContent.
    static QString extractAssistantContent(QByteArrayView body);
    // The terms of the answer's {"terms": [...]} object that pass the
    // history rules, one per key. Throws invalidJSON.
    static QStringList parseTerms(QStringView content);
    // From the first "{" to the last "}", else the whole content.
    static QString extractJSONObjectString(QStringView content);

private:
    static QCoro::Task<QStringList> run(VellupStructuredFormatterConfiguration configuration,
                                        std::shared_ptr<HttpTransport> transport,
                                        QString transcript);

    VellupStructuredFormatterConfiguration m_configuration;
    std::shared_ptr<HttpTransport> m_transport;
};

} // namespace tovalit
