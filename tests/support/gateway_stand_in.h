#pragma once

#include "tests/services/speech/vellup_test_frames.h"
#include "tests/support/stand_in_http_server.h"
#include "tests/support/stand_in_websocket_server.h"

#include <QJsonObject>
#include <QString>

#include <string>
#include <vector>

namespace tovalit::testing {

// The gateway on one loopback address, answering the way the service does:
// device registration and refresh, the streaming recogniser's socket and
// the language model's formatting. Its HTTP calls go to a stand-in HTTP
// server that hands the socket's upgrade to a WebSocket one. Lives on the
// calling thread's event loop, which must run while the application talks
// to it.
class GatewayStandIn {
public:
    GatewayStandIn();

    // What the recogniser hears in every recording, and what the language
    // model makes of it: unlike anything the rule-based cleanup could make
    // of the heard text, so an editor shows it only when the model's
    // answer came through.
    static QString heardText();
    static QString formattedText();

    // Removes the session and device the application keeps in the
    // desktop's keychain, so that its next start registers again.
    static void forgetStoredSession();

    QString baseURL() const;

    int callsTo(QByteArrayView path) const;
    // The streaming client's frames, decoded; a malformed one fails the
    // running test.
    std::vector<ClientFrame> frames() const;
    // What every HTTP call was, for a failure message.
    std::string calls() const;
    // The bodies of the formatting calls that asked to tidy a dictation
    // (not the history's term extraction).
    std::vector<QJsonObject> formattingRequests() const;

    StandInHttpServer http;
    StandInWebSocketServer recogniser;

private:
    StandInHttpReply answer(const RecordedHttpRequest &request);
};

} // namespace tovalit::testing
