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
// device registration, the streaming recogniser's socket and the language
// model's formatting. Its HTTP calls go to a stand-in HTTP server that
// hands the streaming socket's upgrade to a WebSocket one. The recogniser
// always hears `heardText`, with two partial results on the way, and the
// model always tidies it into `formattedText`.
class GatewayStandIn {
public:
    static inline const QString heardText = QStringLiteral("今天下午三点开会");
    // Unlike anything the rule-based cleanup could make of the heard text,
    // so a field shows it only when the language model's answer came
    // through.
    static inline const QString formattedText = QStringLiteral("今天下午3点开会。");

    GatewayStandIn();

    QString baseURL() const;
    int callsTo(QByteArrayView path) const;
    // The streaming client's frames, decoded; a malformed one fails the
    // test.
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
