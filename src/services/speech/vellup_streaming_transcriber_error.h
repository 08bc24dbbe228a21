#pragma once

#include "support/app_error.h"

#include <QString>
#include <QtGlobal>

namespace tovalit {

// Everything the streaming recogniser and its frame protocol can fail
// with, with the texts the user sees. The controller keeps `partialText()`
// of finalizationTimedOut and streamInterrupted: that is the text of a
// stream that did not end cleanly.
class VellupStreamingTranscriberError : public AppError {
public:
    enum class Kind {
        unsupportedSerialization,
        unsupportedCompression,
        serverError,
        finalizationTimedOut,
        streamInterrupted,
        connectionClosed,
        missingCredentials,
        invalidEndpoint,
        connectionTimedOut,
        unsupportedAudioFormat,
        invalidServerMessage,
    };

    static VellupStreamingTranscriberError unsupportedSerialization(int value);
    static VellupStreamingTranscriberError unsupportedCompression(int value);
    static VellupStreamingTranscriberError serverError(quint32 code, QString message);
    static VellupStreamingTranscriberError finalizationTimedOut(QString partialText);
    static VellupStreamingTranscriberError streamInterrupted(QString partialText, QString reason);
    static VellupStreamingTranscriberError connectionClosed(QString text);
    static VellupStreamingTranscriberError missingCredentials();
    static VellupStreamingTranscriberError invalidEndpoint();
    static VellupStreamingTranscriberError connectionTimedOut();
    static VellupStreamingTranscriberError unsupportedAudioFormat();
    static VellupStreamingTranscriberError invalidServerMessage();

    Kind kind() const { return m_kind; }
    // The format number of unsupportedSerialization / unsupportedCompression.
    int value() const { return m_value; }
    // serverError only; the error frame's code is not read, so it is 0.
    quint32 code() const { return m_code; }
    // serverError's message, connectionClosed's text, streamInterrupted's
    // reason.
    QString message() const { return m_message; }
    // finalizationTimedOut and streamInterrupted: the text recognised so far.
    QString partialText() const { return m_partialText; }

    QString localizedDescription() const override;

private:
    explicit VellupStreamingTranscriberError(Kind kind);

    Kind m_kind;
    int m_value = 0;
    quint32 m_code = 0;
    QString m_message;
    QString m_partialText;
};

} // namespace tovalit
