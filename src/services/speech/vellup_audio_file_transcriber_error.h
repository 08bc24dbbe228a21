#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

class VellupAudioFileTranscriberError : public AppError {
public:
    enum class Kind {
        requestFailed,
        missingCredentials,
        invalidAudioFile,
        invalidResponse,
        emptyTranscript,
        unsupportedAudioFormat,
    };

    explicit VellupAudioFileTranscriberError(Kind kind)
        : m_kind(kind) {}
    static VellupAudioFileTranscriberError requestFailed(int statusCode, QString message);

    Kind kind() const { return m_kind; }
    // For requestFailed: the HTTP status and the server's text.
    int statusCode() const { return m_statusCode; }
    QString message() const { return m_message; }
    QString localizedDescription() const override;

    bool operator==(const VellupAudioFileTranscriberError &other) const;

private:
    Kind m_kind;
    int m_statusCode = 0;
    QString m_message;
};

} // namespace tovalit
