#pragma once

#include "support/app_error.h"

#include <QString>

#include <exception>

namespace tovalit {

// The failures of the lexicon's cloud synchronisation, with the texts that
// end up as the lexicon's stored sync error.
class VolcengineSpeechLexiconSyncError : public AppError {
public:
    enum class Kind {
        requestFailed,
        missingCredentials,
        invalidAppID,
        invalidResponse,
    };

    // An HTTP status outside 2xx, or an error the service reported inside a
    // successful reply; `message` is the service's best explanation.
    static VolcengineSpeechLexiconSyncError requestFailed(int statusCode, QString message);
    static VolcengineSpeechLexiconSyncError missingCredentials();
    static VolcengineSpeechLexiconSyncError invalidAppID();
    static VolcengineSpeechLexiconSyncError invalidResponse();

    Kind kind() const { return m_kind; }
    // Only for requestFailed.
    int statusCode() const { return m_statusCode; }
    QString message() const { return m_message; }

    QString localizedDescription() const override;

    bool operator==(const VolcengineSpeechLexiconSyncError &other) const;

private:
    explicit VolcengineSpeechLexiconSyncError(Kind kind, int statusCode = 0, QString message = {});

    Kind m_kind;
    int m_statusCode;
    QString m_message;
};

// What a sync that failed on its way tells the user: a reply cut short or
// garbled is the server's fault, and a network that did not answer in time
// or a connection that failed the network's, each said in the interface's
// words, never as a fault of the user's own lexicon nor in the socket's
// English; any other failure as it describes itself.
QString describeLexiconSyncFailure(const std::exception &error);
QString describeLexiconSyncFailure(const std::exception_ptr &error);
// What a sync tells of a connection refused or dropped before the reply.
// Said in the interface's words, it no longer carries the socket's own
// text, by which a dropped gateway session is otherwise recognised.
QString lexiconSyncConnectionLostMessage();

} // namespace tovalit
