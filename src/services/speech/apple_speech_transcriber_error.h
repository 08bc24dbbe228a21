#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

class AppleSpeechTranscriberError : public AppError {
public:
    enum class Kind { finalizationTimedOut, speechPermissionDenied, recognizerUnavailable };

    explicit AppleSpeechTranscriberError(Kind kind)
        : m_kind(kind) {}
    // No final result in time; carries the text recognised so far.
    static AppleSpeechTranscriberError finalizationTimedOut(QString partialText);

    Kind kind() const { return m_kind; }
    QString partialText() const { return m_partialText; }
    QString localizedDescription() const override;

    bool operator==(const AppleSpeechTranscriberError &other) const {
        return m_kind == other.m_kind && m_partialText == other.m_partialText;
    }

private:
    Kind m_kind;
    QString m_partialText;
};

} // namespace tovalit
