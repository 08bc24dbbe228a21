#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

// The failures of a history term extraction. The history learning batch
// falls back to local word segmentation on any of them.
class VellupHistoryTermExtractorError : public AppError {
public:
    enum class Kind { serverError, invalidRequest, invalidResponse, emptyContent, invalidJSON };

    // A status outside 2xx; `message` is the whole reply body.
    static VellupHistoryTermExtractorError serverError(int status, QString message);
    static VellupHistoryTermExtractorError invalidRequest();
    static VellupHistoryTermExtractorError invalidResponse();
    static VellupHistoryTermExtractorError emptyContent();
    static VellupHistoryTermExtractorError invalidJSON();

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    QString message() const { return m_message; }

    QString localizedDescription() const override;

    bool operator==(const VellupHistoryTermExtractorError &other) const;

private:
    explicit VellupHistoryTermExtractorError(Kind kind, int status = 0, QString message = {});

    Kind m_kind;
    int m_status;
    QString m_message;
};

} // namespace tovalit
