#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

// The failures of a formatter request, with the texts the user sees.
class VellupStructuredFormatterError : public AppError {
public:
    enum class Kind {
        serverError,
        invalidRequest,
        invalidResponse,
        emptyContent,
        emptyStructuredResult,
    };

    // An HTTP status outside 2xx; `message` is the raw reply body.
    static VellupStructuredFormatterError serverError(int status, QString message);
    static VellupStructuredFormatterError invalidRequest();
    static VellupStructuredFormatterError invalidResponse();
    static VellupStructuredFormatterError emptyContent();
    static VellupStructuredFormatterError emptyStructuredResult();

    Kind kind() const { return m_kind; }
    // Only for serverError: the HTTP status and the reply body.
    int status() const { return m_status; }
    QString message() const { return m_message; }

    QString localizedDescription() const override;

private:
    explicit VellupStructuredFormatterError(Kind kind, int status = 0, QString message = {});

    Kind m_kind;
    int m_status;
    QString m_message;
};

// A reply body that is not JSON at all. Kept apart from the formatter's own
// errors because the reply parser's failure is passed on as it comes.
class JsonReplyParseError : public AppError {
public:
    explicit JsonReplyParseError(QString reason);
    QString reason() const { return m_reason; }
    QString localizedDescription() const override;

private:
    QString m_reason;
};

} // namespace tovalit
