#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

// The failures of an instruction run or draft, with the texts the user sees.
class InstructionLibraryAIServiceError : public AppError {
public:
    enum class Kind {
        serverError,
        invalidRequest,
        invalidResponse,
        emptyContent,
        invalidJSON,
        emptyRenderedText,
    };

    // An HTTP status outside 2xx; `message` is the raw reply body.
    static InstructionLibraryAIServiceError serverError(int status, QString message);
    static InstructionLibraryAIServiceError invalidRequest();
    static InstructionLibraryAIServiceError invalidResponse();
    static InstructionLibraryAIServiceError emptyContent();
    static InstructionLibraryAIServiceError invalidJSON();
    static InstructionLibraryAIServiceError emptyRenderedText();

    Kind kind() const { return m_kind; }
    // Only for serverError: the HTTP status and the reply body.
    int status() const { return m_status; }
    QString message() const { return m_message; }

    QString localizedDescription() const override;

private:
    explicit InstructionLibraryAIServiceError(Kind kind, int status = 0, QString message = {});

    Kind m_kind;
    int m_status;
    QString m_message;
};

} // namespace tovalit
