#pragma once

#include "tests/services/speech/vellup_test_frames.h"
#include "tests/support/stand_in_http_server.h"
#include "tests/support/stand_in_websocket_server.h"

#include <QJsonObject>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
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

    // Words of the recording as a stream that broke heard them: the first
    // ones, answered before the break, and those its replacement heard,
    // after the words the break swallowed. The audio-file recogniser hears
    // the whole recording: heardText().
    static QString wordsBeforeTheBreak();
    static QString wordsAfterTheBreak();

    // The first stream breaks a few frames after it showed its first words
    // (the gateway drops it, as when its upstream goes away), once the test
    // lets it: a drop that overtakes the words' frame on a loaded machine
    // takes them with it before the client has read them. The audio sent
    // in between is lost with the stream. Streams opened after it hear
    // only what follows, and know only wordsAfterTheBreak().
    void breakTheFirstStreamAfterItsFirstWords() { m_breakFirstStream = true; }
    void letTheFirstStreamBreak() { m_breakLetGo = true; }

    // A recording that goes on: the recogniser hears whatever `heard`
    // says for the stream's audio frame `sequence` (the whole transcript
    // so far, as its partial results carry it), and answers the closing
    // frame with the same.
    using Hearing = std::function<QString(qint32 sequence)>;
    void hear(Hearing heard) { m_heard = std::move(heard); }

    // The language model's answer to the formatting calls whose system
    // prompt holds `marker` (a meeting's summary ticks, its minutes): the
    // assistant's content for the request body, in the order added.
    using ChatAnswer = std::function<QString(const QJsonObject &request)>;
    void answerChatsMarked(const QString &marker, ChatAnswer answer) {
        m_chatAnswers.emplace_back(marker, std::move(answer));
    }

    // The language model takes the dictation's formatting call and never
    // answers it, as one that is still thinking (a meeting's calls and the
    // history's term extraction are answered as before).
    void leaveFormattingUnanswered() { m_formattingUnanswered = true; }

    // The loudest 10 ms of 16 kHz signed 16-bit PCM, as RMS in [0, 1].
    static double loudestWindow(const QByteArray &pcm);

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
    // The bodies of the whole-file recognition calls.
    std::vector<QJsonObject> fileRecognitionRequests() const;

    StandInHttpServer http;
    StandInWebSocketServer recogniser;

private:
    StandInHttpReply answer(const RecordedHttpRequest &request);
    void recognise(const RecordedWebSocketMessage &message);

    std::optional<StandInHttpReply> markedChatAnswer(const RecordedHttpRequest &request) const;

    Hearing m_heard;
    std::vector<std::pair<QString, ChatAnswer>> m_chatAnswers;
    QString m_lastHeard;
    bool m_breakFirstStream = false;
    std::atomic<bool> m_breakLetGo = false;
    bool m_formattingUnanswered = false;
    // The sequence number after which the first stream breaks, once it
    // has shown its first words.
    std::optional<qint32> m_breakAfterSequence;
};

} // namespace tovalit::testing
