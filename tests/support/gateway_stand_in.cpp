#include "tests/support/gateway_stand_in.h"

#include "services/gateway/gateway_session.h"
#include "tests/support/chat_replies.h"

#include <QDateTime>

#include <algorithm>
#include <gtest/gtest.h>

namespace tovalit::testing {

namespace {

bool isTermExtraction(const RecordedHttpRequest &request) {
    return request.body.contains(QStringLiteral("历史术语抽取器").toUtf8());
}

// Acknowledges the opening request, shows two partial results as the audio
// comes in and answers the closing frame with the final text.
void recognise(const RecordedWebSocketMessage &message, StandInWebSocketServer &self) {
    const auto frame = readClientFrame(message.payload);
    if (!frame || !frame->sequence)
        return;
    if (frame->messageType == 1)
        self.sendBinary(acknowledgement(1));
    else if (frame->flags == 0x3)
        self.sendBinary(textResponse(GatewayStandIn::heardText, *frame->sequence, true));
    else if (*frame->sequence == 3)
        self.sendBinary(textResponse(QStringLiteral("今天下午"), 3));
    else if (*frame->sequence == 6)
        self.sendBinary(textResponse(QStringLiteral("今天下午三点"), 6));
}

} // namespace

GatewayStandIn::GatewayStandIn() {
    http.forwardWebSocketUpgrades(&recogniser);
    http.setHandler([this](const RecordedHttpRequest &request) { return answer(request); });
    recogniser.setMessageHandler(&recognise);
}

QString GatewayStandIn::baseURL() const {
    return http.url(QStringLiteral("/")).toString();
}

int GatewayStandIn::callsTo(QByteArrayView path) const {
    return int(std::count_if(http.requests().begin(), http.requests().end(),
                             [path](const RecordedHttpRequest &r) { return r.path() == path; }));
}

std::vector<ClientFrame> GatewayStandIn::frames() const {
    std::vector<ClientFrame> result;
    for (const QByteArray &message : recogniser.binaryMessages()) {
        const auto frame = readClientFrame(message);
        EXPECT_TRUE(frame) << "a malformed client frame: " << message.toHex().toStdString();
        if (frame)
            result.push_back(*frame);
    }
    return result;
}

std::string GatewayStandIn::calls() const {
    std::string text;
    for (const RecordedHttpRequest &request : http.requests())
        text += request.method.toStdString() + ' ' + request.target.toStdString() + '\n';
    return text;
}

std::vector<QJsonObject> GatewayStandIn::formattingRequests() const {
    std::vector<QJsonObject> result;
    for (const RecordedHttpRequest &request : http.requests()) {
        if (request.path() == "/api/proxy/format" && !isTermExtraction(request))
            result.push_back(jsonObject(request.body));
    }
    return result;
}

StandInHttpReply GatewayStandIn::answer(const RecordedHttpRequest &request) {
    if (request.path() == "/api/client/register" || request.path() == "/api/client/refresh") {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const GatewaySession session{QStringLiteral("session-1"), QStringLiteral("device"),
                                     QStringLiteral("access-1"),  now.addSecs(3600),
                                     QStringLiteral("refresh-1"), now.addDays(30)};
        return StandInHttpReply::json(200, "{\"session\":" + session.toCompactJson() + "}");
    }
    if (request.path() == "/api/proxy/format") {
        if (isTermExtraction(request))
            return StandInHttpReply::json(200, chatReply(QStringLiteral(R"({"terms":[]})")));
        return StandInHttpReply::json(200, chatReply(formattedText));
    }
    return StandInHttpReply::text(404, "not served by the stand-in");
}

} // namespace tovalit::testing
