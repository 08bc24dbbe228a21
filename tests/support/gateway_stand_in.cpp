#include "tests/support/gateway_stand_in.h"

#include "services/gateway/gateway_session.h"
#include "services/security/keychain_store.h"
#include "tests/support/chat_replies.h"
#include "tests/support/run_task.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace tovalit::testing {

namespace {

bool isTermExtraction(const RecordedHttpRequest &request) {
    return request.body.contains(QStringLiteral("历史术语抽取器").toUtf8());
}

// Louder than the room: someone is speaking.
constexpr double voiceLoudness = 0.05;

// How many frames of audio the first stream takes after its first words
// before it breaks: the words in flight.
constexpr qint32 framesInFlight = 3;

QString userContent(const QJsonObject &request) {
    QString content;
    for (const QJsonValue &message : request[u"messages"].toArray()) {
        if (message[u"role"].toString() == u"user")
            content += message[u"content"].toString();
    }
    return content;
}

} // namespace

GatewayStandIn::GatewayStandIn() {
    http.forwardWebSocketUpgrades(&recogniser);
    http.setHandler([this](const RecordedHttpRequest &request) { return answer(request); });
    recogniser.setMessageHandler([this](const RecordedWebSocketMessage &message,
                                        StandInWebSocketServer &) { recognise(message); });
}

// Acknowledges the opening request, shows partial results as the audio
// comes in and answers the closing frame with the final text; or, told to,
// breaks the first stream after its first words and lets the later ones
// hear only what follows.
void GatewayStandIn::recognise(const RecordedWebSocketMessage &message) {
    const auto frame = readClientFrame(message.payload);
    if (!frame || !frame->sequence)
        return;
    const qint32 sequence = *frame->sequence;
    if (frame->messageType == 1) {
        recogniser.sendBinary(acknowledgement(1));
        return;
    }
    const bool last = frame->flags == 0x3;
    if (m_heard) {
        // A partial result only when the words changed, as the service sends.
        const QString heard = m_heard(sequence);
        if (last || (heard != m_lastHeard && !heard.isEmpty()))
            recogniser.sendBinary(textResponse(heard, sequence, last));
        m_lastHeard = heard;
        return;
    }
    if (!m_breakFirstStream) {
        if (last)
            recogniser.sendBinary(textResponse(heardText(), sequence, true));
        else if (sequence == 3)
            recogniser.sendBinary(textResponse(QStringLiteral("今天下午"), 3));
        else if (sequence == 6)
            recogniser.sendBinary(textResponse(QStringLiteral("今天下午三点"), 6));
        return;
    }
    if (recogniser.connectionCount() > 1) {
        if (last)
            recogniser.sendBinary(textResponse(wordsAfterTheBreak(), sequence, true));
        else if (sequence == 3)
            recogniser.sendBinary(textResponse(wordsAfterTheBreak(), 3));
        return;
    }
    // The first stream: its first words once the speech has begun, then
    // the break while the next ones are in flight.
    if (!m_breakAfterSequence) {
        if (!last && loudestWindow(frame->body().value_or(QByteArray())) > voiceLoudness) {
            recogniser.sendBinary(textResponse(wordsBeforeTheBreak(), sequence));
            m_breakAfterSequence = sequence + framesInFlight;
        }
    } else if (sequence >= *m_breakAfterSequence && m_breakLetGo) {
        recogniser.dropConnection();
    }
}

QString GatewayStandIn::heardText() {
    return QStringLiteral("今天下午三点开会");
}

QString GatewayStandIn::formattedText() {
    return QStringLiteral("今天下午3点开会。");
}

QString GatewayStandIn::wordsBeforeTheBreak() {
    return QStringLiteral("今天下午");
}

QString GatewayStandIn::wordsAfterTheBreak() {
    return QStringLiteral("开会");
}

double GatewayStandIn::loudestWindow(const QByteArray &pcm) {
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    const qsizetype count = pcm.size() / 2;
    double loudest = 0;
    for (qsizetype start = 0; start + 160 <= count; start += 160) {
        double sum = 0;
        for (qsizetype i = start; i < start + 160; ++i)
            sum += double(samples[i]) * samples[i];
        loudest = std::max(loudest, std::sqrt(sum / 160) / 32768.0);
    }
    return loudest;
}

void GatewayStandIn::forgetStoredSession() {
    const KeychainStore keychain(QStringLiteral("cn.pellastrim.tovalit.gateway"));
    runTask(keychain.deleteItem(QStringLiteral("gateway.session")));
    runTask(keychain.deleteItem(QStringLiteral("gateway.device-id")));
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

std::vector<QJsonObject> GatewayStandIn::fileRecognitionRequests() const {
    std::vector<QJsonObject> result;
    for (const RecordedHttpRequest &request : http.requests()) {
        if (request.path() == "/api/proxy/asr-file")
            result.push_back(jsonObject(request.body));
    }
    return result;
}

std::optional<StandInHttpReply>
GatewayStandIn::markedChatAnswer(const RecordedHttpRequest &request) const {
    if (m_chatAnswers.empty())
        return std::nullopt;
    const QJsonObject body = jsonObject(request.body);
    QString system;
    for (const QJsonValue &message : body[u"messages"].toArray()) {
        if (message[u"role"].toString() == u"system")
            system += message[u"content"].toString();
    }
    for (const auto &[marker, answer] : m_chatAnswers) {
        if (system.contains(marker))
            return StandInHttpReply::json(200, chatReply(answer(body)));
    }
    return std::nullopt;
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
        if (auto reply = markedChatAnswer(request))
            return *reply;
        if (isTermExtraction(request))
            return StandInHttpReply::json(200, chatReply(QStringLiteral(R"({"terms":[]})")));
        if (m_formattingUnanswered)
            return StandInHttpReply::silent();
        // The model tidies what was said, and only that: a text with words
        // missing gets no tidied sentence, so an editor never shows one
        // for it.
        if (!userContent(jsonObject(request.body)).contains(heardText()))
            return StandInHttpReply::json(422, R"({"error":"not what was said"})");
        return StandInHttpReply::json(200, chatReply(formattedText()));
    }
    if (request.path() == "/api/proxy/asr-file") {
        // The whole recording is heard; a file without speech is not.
        const QByteArray pcm =
            QByteArray::fromBase64(jsonObject(request.body)[u"audioBase64"].toString().toLatin1());
        if (loudestWindow(pcm) <= voiceLoudness)
            return StandInHttpReply::json(200, R"({"result":{"text":""}})");
        const QJsonObject result{{QStringLiteral("text"), heardText()}};
        return StandInHttpReply::json(
            200, QJsonDocument(QJsonObject{{QStringLiteral("result"), result}}).toJson());
    }
    return StandInHttpReply::text(404, "not served by the stand-in");
}

} // namespace tovalit::testing
