#include "services/speech/vellup_streaming_transcriber.h"
#include "services/speech/vellup_streaming_transcriber_error.h"
#include "support/gui_thread.h"
#include "support/http_transport.h"
#include "support/uuid_text.h"
#include "tests/services/speech/vellup_test_frames.h"
#include "tests/support/pcm_signals.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/stand_in_websocket_server.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace tovalit::testing {
namespace {

using namespace std::chrono_literals;
using Kind = VellupStreamingTranscriberError::Kind;

const PcmFormat streamFormat{16000, 1, PcmSampleType::Int16, true};

VellupStreamingTimings timings(std::chrono::milliseconds startup,
                               std::chrono::milliseconds finalization,
                               std::chrono::milliseconds keepAlive = 60s,
                               std::chrono::milliseconds check = 10ms) {
    return {startup, finalization, keepAlive, check};
}

// What the controller sees of one recogniser: partials (with whether each
// came on the GUI thread) and interruptions (with the thread they came on).
struct Observed {
    QStringList partials;
    bool partialsOnGuiThread = true;
    std::atomic<int> interruptions = 0;
    std::atomic<bool> interruptionOnGuiThread = false;
    QString interruption; // written before the count moves
};

void observe(VellupStreamingTranscriber &transcriber, Observed &observed) {
    transcriber.setOnPartial([&observed](const QString &text) {
        observed.partialsOnGuiThread = observed.partialsOnGuiThread && isGuiThread();
        observed.partials.append(text);
    });
    transcriber.setOnInterruption([&observed](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception &exception) {
            observed.interruption = describeException(exception);
        }
        observed.interruptionOnGuiThread = isGuiThread();
        ++observed.interruptions;
    });
}

// The description of the error a task fails with ("" when it succeeds).
template <typename T>
QString failureOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const std::exception &error) {
        return describeException(error);
    }
    return {};
}

// 16 kHz mono PCM whose bytes are all different from their neighbours, so
// a lost, doubled or reordered frame shows.
QByteArray rampPcm(int samples) {
    QByteArray bytes(samples * 2, '\0');
    for (int i = 0; i < samples; ++i) {
        const qint16 value = qint16((i * 37) % 30011 - 15000);
        bytes[2 * i] = char(value & 0xFF);
        bytes[2 * i + 1] = char((value >> 8) & 0xFF);
    }
    return bytes;
}

// Appends `pcm` in buffers of `frames` frames from a thread of its own, as
// the capture thread does.
void appendFromCaptureThread(VellupStreamingTranscriber &transcriber, const QByteArray &pcm,
                             int frames) {
    std::thread capture([&] {
        for (qsizetype offset = 0; offset < pcm.size(); offset += frames * 2) {
            const QByteArray part = pcm.mid(offset, frames * 2);
            PcmBuffer buffer(streamFormat, int(part.size() / 2));
            buffer.setFrameLength(int(part.size() / 2));
            std::memcpy(buffer.data(0), part.constData(), size_t(part.size()));
            transcriber.append(buffer);
        }
    });
    capture.join();
}

class VellupStreamingTranscriberTest : public ::testing::Test {
protected:
    VellupSpeechConfiguration
    gatewayConfiguration(const QString &path = QStringLiteral("/")) const {
        VellupSpeechConfiguration configuration;
        configuration.gatewayBaseURL =
            QUrl(QStringLiteral("http://127.0.0.1:") + QString::number(server.port()) + path);
        configuration.gatewaySessionToken = QStringLiteral("session-token");
        return configuration;
    }

    // The decoded frames the client sent, in order.
    std::vector<ClientFrame> frames() const {
        std::vector<ClientFrame> result;
        for (const QByteArray &message : server.binaryMessages()) {
            auto frame = readClientFrame(message);
            EXPECT_TRUE(frame) << "a malformed client frame: " << message.toHex().toStdString();
            if (frame)
                result.push_back(*frame);
        }
        return result;
    }

    // Acknowledges the opening request and nothing else.
    void acknowledgeRequests() {
        server.setMessageHandler([](const RecordedWebSocketMessage &message, auto &self) {
            const auto frame = readClientFrame(message.payload);
            if (frame && frame->messageType == 1)
                self.sendBinary(acknowledgement(1));
        });
    }

    bool waitForFrames(size_t count, std::chrono::milliseconds limit = 10s) {
        return waitUntil([&] { return server.binaryMessages().size() >= count; }, "client frames",
                         limit);
    }

    StandInWebSocketServer server;
};

TEST_F(VellupStreamingTranscriberTest, StreamsOneSecondInOrderedFramesAndReturnsTheFinalText) {
    server.setMessageHandler([](const RecordedWebSocketMessage &message, auto &self) {
        const auto frame = readClientFrame(message.payload);
        if (!frame)
            return;
        if (frame->messageType == 1)
            self.sendBinary(acknowledgement(1));
        else if (frame->flags == 0x3)
            self.sendBinary(
                textResponse(QStringLiteral("  你好，世界。 \n"), *frame->sequence, true));
        else if (*frame->sequence == 6)
            self.sendBinary(textResponse(QStringLiteral("你好"), 6));
        else if (*frame->sequence == 11)
            self.sendBinary(textResponse(QStringLiteral("你好，世界"), 11));
    });
    VellupStreamingTranscriber transcriber(gatewayConfiguration(), std::nullopt);
    Observed observed;
    observe(transcriber, observed);
    EXPECT_EQ(transcriber.engineName(), QStringLiteral("Vellup流式 ASR 2.0"));

    runTask(transcriber.start());
    ASSERT_EQ(server.handshakes().size(), 1u);
    const RecordedHandshake &handshake = server.handshakes()[0];
    EXPECT_EQ(handshake.target, "/ws/asr");
    EXPECT_EQ(handshake.header("Authorization"), "Bearer session-token");
    for (const auto &[name, value] : handshake.headers)
        EXPECT_FALSE(name.toLower().startsWith("x-api")) << name.toStdString();

    const QByteArray pcm = rampPcm(16000); // one second: exactly ten frames
    appendFromCaptureThread(transcriber, pcm, 1000);
    EXPECT_EQ(runTask(transcriber.finish()), QStringLiteral("你好，世界。"));

    const std::vector<ClientFrame> sent = frames();
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(sent[0].header, QByteArray::fromHex("11111100"));
    EXPECT_EQ(sent[0].sequence, 1);
    EXPECT_EQ(sent[0].declaredSize, quint32(sent[0].payload.size()));
    const QJsonObject request = sent[0].json();
    EXPECT_EQ(request["user"].toObject()["platform"], QStringLiteral("macOS"));
    EXPECT_EQ(request["audio"].toObject()["rate"], 16000);
    EXPECT_TRUE(uuidtext::parse(request["request"].toObject()["reqid"].toString()));
    EXPECT_EQ(request["request"].toObject()["reqid"].toString(),
              request["request"].toObject()["reqid"].toString().toLower());
    EXPECT_FALSE(request["request"].toObject().contains("corpus"));

    QByteArray streamed;
    for (size_t i = 1; i <= 10; ++i) {
        EXPECT_EQ(sent[i].header, QByteArray::fromHex("11210100")) << i;
        EXPECT_EQ(sent[i].sequence, qint32(i + 1));
        const auto body = sent[i].body();
        ASSERT_TRUE(body) << "frame " << i << " is not gzip";
        EXPECT_EQ(body->size(), 3200);
        streamed += *body;
    }
    EXPECT_EQ(streamed, pcm);
    EXPECT_EQ(server.binaryMessages().back(), QByteArray::fromHex("11230000fffffff400000000"));

    ASSERT_TRUE(waitUntil([&] { return observed.partials.size() == 3; }, "three partials"));
    EXPECT_EQ(observed.partials, (QStringList{"你好", "你好，世界", "你好，世界。"}));
    EXPECT_TRUE(observed.partialsOnGuiThread);
    EXPECT_EQ(observed.interruptions, 0);
    ASSERT_TRUE(waitUntil([&] { return server.clientCloseCode().has_value(); }, "the close"));
    EXPECT_EQ(*server.clientCloseCode(), 1000);
}

TEST_F(VellupStreamingTranscriberTest, DirectRouteSendsTheServiceHeadersAndTheLexiconCorpus) {
    acknowledgeRequests();
    VellupSpeechConfiguration configuration;
    configuration.appID = QStringLiteral("app-1");
    configuration.accessToken = QStringLiteral("access-1");
    configuration.resourceID = QStringLiteral("volc.bigasr");
    configuration.secretKey = QStringLiteral("never-sent");
    // A gateway URL without a token is not the gateway route.
    configuration.gatewayBaseURL = QUrl(QStringLiteral("http://127.0.0.1:1/"));
    VellupSpeechLexiconConfiguration lexicon;
    lexicon.boostingTableName = QStringLiteral("热词");
    lexicon.correctTableID = QStringLiteral("ct-9");
    lexicon.inlineHotwords = {QStringLiteral("Tovalit"), QStringLiteral("语音")};
    VellupStreamingTranscriber transcriber(configuration, lexicon, {},
                                           server.url(QStringLiteral("/api/v3/asr")));

    runTask(transcriber.start());
    const RecordedHandshake &handshake = server.handshakes().at(0);
    EXPECT_EQ(handshake.target, "/api/v3/asr");
    EXPECT_EQ(handshake.header("X-Api-App-Key"), "app-1");
    EXPECT_EQ(handshake.header("X-Api-Access-Key"), "access-1");
    EXPECT_EQ(handshake.header("X-Api-Resource-Id"), "volc.bigasr");
    const QByteArray requestID = handshake.header("X-Api-Request-Id").value_or("");
    EXPECT_TRUE(uuidtext::parse(QString::fromLatin1(requestID)));
    EXPECT_EQ(requestID, requestID.toLower());
    EXPECT_EQ(handshake.header("X-Api-Connect-Id"), requestID);
    EXPECT_FALSE(handshake.header("Authorization"));
    for (const auto &[name, value] : handshake.headers)
        EXPECT_FALSE(value.contains("never-sent"));

    const QJsonObject corpus = frames().at(0).json()["request"].toObject()["corpus"].toObject();
    EXPECT_EQ(corpus["boosting_table_name"], QStringLiteral("热词"));
    EXPECT_EQ(corpus["correct_table_id"], QStringLiteral("ct-9"));
    EXPECT_FALSE(corpus.contains("correct_table_name"));
    EXPECT_EQ(corpus["context"].toString(),
              QStringLiteral(R"({"hotwords":[{"word":"Tovalit"},{"word":"语音"}]})"));
    transcriber.cancel();
}

TEST_F(VellupStreamingTranscriberTest, ResamplesCapturedAudioIntoFullFramesAndFlushesTheRest) {
    acknowledgeRequests();
    VellupStreamingTranscriber transcriber(gatewayConfiguration(), std::nullopt,
                                           timings(10s, 300ms));
    runTask(transcriber.start());

    // 1.55 s of 48 kHz stereo float, as a desktop microphone delivers it.
    const PcmFormat captured{48000, 2, PcmSampleType::Float32, true};
    constexpr int inputFrames = 74400;
    std::thread capture([&] {
        for (int offset = 0; offset < inputFrames; offset += 1024) {
            transcriber.append(
                sineBuffer(captured, std::min(1024, inputFrames - offset), 440, 0.5, offset));
        }
    });
    capture.join();
    ASSERT_TRUE(waitForFrames(1 + 14));
    // No reply to the closing frame: the watchdog ends the wait.
    EXPECT_EQ(failureOf(transcriber.finish()),
              QStringLiteral("等待Vellup最终转写结果超时，已保留最后一版文本。"));

    const std::vector<ClientFrame> sent = frames();
    ASSERT_GE(sent.size(), 17u);
    qsizetype total = 0;
    for (size_t i = 1; i + 1 < sent.size(); ++i) {
        EXPECT_EQ(sent[i].sequence, qint32(i + 1));
        const QByteArray body = sent[i].body().value_or("");
        if (i + 2 < sent.size())
            EXPECT_EQ(body.size(), 3200) << i;
        else
            EXPECT_LT(body.size(), 3200) << "the remainder goes out unpadded";
        total += body.size();
    }
    // 1.55 s at 16 kHz is 49,600 bytes; the resampler's tail is flushed,
    // not lost.
    EXPECT_NEAR(double(total), 49600.0, 64.0);
    EXPECT_EQ(sent.back().sequence, -qint32(sent.size()));
}

TEST_F(VellupStreamingTranscriberTest, KeepsAnIdleStreamAliveOnlyAfterTheFirstAnswer) {
    // The stream's own time moves only when the test says, so a slow
    // machine cannot make an interval pass between two steps.
    std::atomic<double> seconds = 100.0;
    const auto advance = [&](double by) { seconds.store(seconds.load() + by); };
    VellupStreamingTranscriber transcriber(
        gatewayConfiguration(), std::nullopt, timings(10s, 10s, 150ms, 10ms),
        VellupStreamingTranscriber::endpointURL(), [&seconds] { return seconds.load(); });
    QCoro::Task<void> starting = transcriber.start();
    ASSERT_TRUE(waitForFrames(1));
    // Several keep-alive intervals pass without an answer: nothing is sent.
    advance(1.0);
    processEventsFor(100ms);
    EXPECT_EQ(server.binaryMessages().size(), 1u);

    server.sendBinary(acknowledgement(1));
    runTask(std::move(starting));
    // The silence since start() already exceeds the interval.
    ASSERT_TRUE(waitForFrames(2));
    std::vector<ClientFrame> sent = frames();
    EXPECT_EQ(sent[1].header, QByteArray::fromHex("11210100"));
    EXPECT_EQ(sent[1].sequence, 2);
    EXPECT_EQ(sent[1].body(), QByteArray(3200, '\0'));

    // A partial frame waiting for more audio is padded to 3200 bytes by the
    // next keep-alive, no sooner than an interval after the last frame.
    const QByteArray pcm = rampPcm(500);
    appendFromCaptureThread(transcriber, pcm, 500);
    advance(0.1);
    processEventsFor(100ms);
    EXPECT_EQ(server.binaryMessages().size(), 2u);
    advance(0.1);
    ASSERT_TRUE(waitForFrames(3));
    sent = frames();
    EXPECT_EQ(sent[2].sequence, 3);
    EXPECT_EQ(sent[2].body(), pcm + QByteArray(2200, '\0'));

    // None while finishing.
    QCoro::Task<QString> finishing = transcriber.finish();
    advance(1.0);
    processEventsFor(100ms);
    sent = frames();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].header, QByteArray::fromHex("11230000"));
    EXPECT_EQ(sent[3].sequence, -4);
    transcriber.cancel();
    EXPECT_EQ(runTask(std::move(finishing)), QString());
}

TEST_F(VellupStreamingTranscriberTest, SilenceFailsTheStartAfterTheWatchdogAndClosesTheSocket) {
    // The real durations at 3 %: 10 s become 300 ms, the keep-alive 90 ms.
    VellupStreamingTranscriber transcriber(gatewayConfiguration(), std::nullopt,
                                           VellupStreamingTimings{}.scaled(0.03));
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(failureOf(transcriber.start()), QStringLiteral("Vellup流式 ASR 建连超时。"));
    EXPECT_GE(elapsed.elapsed(), 280); // coarse timers may fire 5 % early
    ASSERT_TRUE(waitUntil([&] { return server.clientCloseCode().has_value(); }, "the close"));
    EXPECT_EQ(*server.clientCloseCode(), 1001);
    processEventsFor(150ms);
    EXPECT_EQ(server.binaryMessages().size(), 1u) << "no keep-alive after a failed start";
    // A finish() that comes anyway fails with the same error instead of
    // waiting out its own watchdog.
    EXPECT_EQ(failureOf(transcriber.finish()), QStringLiteral("Vellup流式 ASR 建连超时。"));
}

TEST_F(VellupStreamingTranscriberTest, AnEarlierRunsWatchdogsNeverResolveALaterRun) {
    // The watchdogs are real timers: each step keeps some 500 ms clear of
    // the moments they fire, so a loaded machine does not decide the run.
    VellupStreamingTranscriber transcriber(gatewayConfiguration(), std::nullopt,
                                           timings(1600ms, 1600ms));
    QCoro::Task<void> first = transcriber.start();
    ASSERT_TRUE(waitForFrames(1));
    processEventsFor(1000ms);

    // The second start cancels the first; its watchdog would fire 600 ms
    // into the second run, which the server only answers after 1200 ms.
    QCoro::Task<void> second = transcriber.start();
    EXPECT_EQ(failureOf(std::move(first)), QStringLiteral("Vellup连接已关闭：已取消"));
    ASSERT_TRUE(waitUntil(
        [&] { return server.connectionCount() == 2 && server.binaryMessages().size() == 2; },
        "the second request"));
    processEventsFor(1200ms);
    server.sendBinary(acknowledgement(1));
    EXPECT_EQ(failureOf(std::move(second)), QString());

    // The same for finishing: a cancelled finish's watchdog stays quiet.
    server.sendBinary(textResponse(QStringLiteral("一"), 2));
    QCoro::Task<QString> abandoned = transcriber.finish();
    processEventsFor(1000ms);
    transcriber.cancel();
    EXPECT_EQ(runTask(std::move(abandoned)), QStringLiteral("一"));

    acknowledgeRequests();
    runTask(transcriber.start());
    QCoro::Task<QString> finishing = transcriber.finish();
    processEventsFor(1200ms);
    server.sendBinary(textResponse(QStringLiteral("二"), -2, true));
    EXPECT_EQ(runTask(std::move(finishing)), QStringLiteral("二"));
}

TEST_F(VellupStreamingTranscriberTest, ServiceFailuresDuringStartEndTheSession) {
    struct Case {
        QByteArray answer;
        bool text;
        QString expected;
    };
    const std::vector<Case> cases{
        {serverFrame(15, 0x0, 1, 0, std::nullopt,
                     QByteArray::fromHex("00000457") + bigEndian(5) + "quota", false),
         false, QStringLiteral("Vellup流式 ASR 出错：quota")},
        {serverFrame(9, 0x1, 1, 2, 1, "{}"), false,
         QStringLiteral("Vellup返回了暂不支持的压缩格式：2。")},
        {"bye", true, QStringLiteral("Vellup连接已关闭：bye")},
    };
    for (const Case &scenario : cases) {
        server.setMessageHandler([&scenario](const RecordedWebSocketMessage &message, auto &self) {
            if (readClientFrame(message.payload).value_or(ClientFrame{}).messageType != 1)
                return;
            if (scenario.text)
                self.sendText(scenario.answer);
            else
                self.sendBinary(scenario.answer);
        });
        VellupStreamingTranscriber transcriber(gatewayConfiguration(), std::nullopt);
        Observed observed;
        observe(transcriber, observed);
        EXPECT_EQ(failureOf(transcriber.start()), scenario.expected);
        // The interruption is reported from the recogniser's own queue, so
        // it may arrive just after the failed start has returned.
        ASSERT_TRUE(waitUntil([&] { return observed.interruptions == 1; }, "the interruption"));
        EXPECT_EQ(observed.interruption, scenario.expected);
        // The session is over: finish() fails at once with the same error.
        EXPECT_EQ(failureOf(transcriber.finish()), scenario.expected);
    }
}

TEST_F(VellupStreamingTranscriberTest, ADroppedConnectionKeepsTheTextRecognisedSoFar) {
    acknowledgeRequests();
    VellupStreamingTranscriber transcriber(gatewayConfiguration(), std::nullopt);
    Observed observed;
    observe(transcriber, observed);
    runTask(transcriber.start());
    server.sendBinary(textResponse(QStringLiteral("第一句"), 2));
    ASSERT_TRUE(waitUntil([&] { return observed.partials.size() == 1; }, "the partial"));

    server.dropConnection();
    ASSERT_TRUE(waitUntil([&] { return observed.interruptions == 1; }, "the interruption"));
    EXPECT_FALSE(observed.interruptionOnGuiThread);
    EXPECT_TRUE(observed.interruption.contains(QStringLiteral("Socket is not connected")));

    try {
        runTask(transcriber.finish());
        ADD_FAILURE() << "finish() succeeded";
    } catch (const VellupStreamingTranscriberError &error) {
        EXPECT_EQ(error.kind(), Kind::streamInterrupted);
        EXPECT_EQ(error.partialText(), QStringLiteral("第一句"));
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("Vellup流式转写中断，已保留最后一版文本：") +
                      observed.interruption);
    }
    processEventsFor(50ms);
    EXPECT_EQ(observed.interruptions, 1);

    // Before any text, the socket's own error is what finish() reports.
    VellupStreamingTranscriber second(gatewayConfiguration(), std::nullopt);
    runTask(second.start());
    server.dropConnection();
    const QString failure = failureOf(second.finish());
    EXPECT_TRUE(failure.startsWith(QStringLiteral("Socket is not connected")))
        << failure.toStdString();
}

TEST_F(VellupStreamingTranscriberTest, SocketFailuresBeforeTheStreamOpensSaySocketIsNotConnected) {
    server.refuseHandshakes(401, R"({"message":"token expired"})");
    VellupStreamingTranscriber refused(gatewayConfiguration(), std::nullopt);
    QString failure = failureOf(refused.start());
    EXPECT_TRUE(failure.contains(QStringLiteral("Socket is not connected")))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("invalid_token"))) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("401"))) << failure.toStdString();

    server.refuseHandshakes(502);
    VellupStreamingTranscriber unavailable(gatewayConfiguration(), std::nullopt);
    failure = failureOf(unavailable.start());
    EXPECT_TRUE(failure.contains(QStringLiteral("Socket is not connected")))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("502"))) << failure.toStdString();
    EXPECT_FALSE(failure.contains(QStringLiteral("invalid_token")));

    // A server that takes the connection but never completes the upgrade:
    // a frame sent meanwhile cannot go out, and a connection closed before
    // the upgrade is a socket failure too.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    VellupSpeechConfiguration stalled = gatewayConfiguration();
    stalled.gatewayBaseURL =
        QUrl(QStringLiteral("http://127.0.0.1:") + QString::number(silent.serverPort()));
    VellupStreamingTranscriber early(stalled, std::nullopt);
    QCoro::Task<void> starting = early.start();
    ASSERT_TRUE(waitUntil([&] { return silent.hasPendingConnections(); }, "the connection"));
    std::unique_ptr<QTcpSocket> stalledConnection(silent.nextPendingConnection());
    QCoro::Task<QString> finishing = early.finish();
    failure = failureOf(std::move(starting));
    EXPECT_TRUE(failure.startsWith(QStringLiteral("Socket is not connected")))
        << failure.toStdString();
    EXPECT_EQ(failureOf(std::move(finishing)), failure);

    VellupStreamingTranscriber hungUp(stalled, std::nullopt);
    starting = hungUp.start();
    ASSERT_TRUE(waitUntil([&] { return silent.hasPendingConnections(); }, "the connection"));
    silent.nextPendingConnection()->close();
    failure = failureOf(std::move(starting));
    EXPECT_TRUE(failure.startsWith(QStringLiteral("Socket is not connected")))
        << failure.toStdString();

    // Nobody listening on the port.
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    VellupSpeechConfiguration nowhere = gatewayConfiguration();
    nowhere.gatewayBaseURL =
        QUrl(QStringLiteral("http://127.0.0.1:") + QString::number(closedPort));
    VellupStreamingTranscriber unreachable(nowhere, std::nullopt);
    failure = failureOf(unreachable.start());
    EXPECT_TRUE(failure.contains(QStringLiteral("Socket is not connected")))
        << failure.toStdString();
}

TEST_F(VellupStreamingTranscriberTest, RefusesIncompleteOrUnusableConfigurationsWithoutConnecting) {
    VellupSpeechConfiguration incomplete;
    incomplete.appID = QStringLiteral("app");
    incomplete.accessToken = QStringLiteral("token");
    EXPECT_EQ(failureOf(VellupStreamingTranscriber(incomplete, std::nullopt).start()),
              QStringLiteral("Vellup流式 ASR 凭证不完整。"));

    VellupSpeechConfiguration complete = incomplete;
    complete.resourceID = QStringLiteral("resource");
    EXPECT_EQ(
        failureOf(VellupStreamingTranscriber(complete, std::nullopt, {}, std::nullopt).start()),
        QStringLiteral("Vellup流式 ASR 地址无效。"));

    VellupSpeechConfiguration badGateway;
    badGateway.gatewayBaseURL = QUrl(QStringLiteral("localhost:8080"));
    badGateway.gatewaySessionToken = QString();
    EXPECT_EQ(failureOf(VellupStreamingTranscriber(badGateway, std::nullopt).start()),
              QStringLiteral("Vellup流式 ASR 地址无效。"));

    VellupSpeechConfiguration injected = gatewayConfiguration();
    injected.gatewaySessionToken = QStringLiteral("token\r\nX-Evil: 1");
    const QString failure = failureOf(VellupStreamingTranscriber(injected, std::nullopt).start());
    EXPECT_TRUE(failure.contains(QStringLiteral("Authorization"))) << failure.toStdString();
    processEventsFor(50ms);
    EXPECT_EQ(server.handshakes().size(), 0u);
}

TEST_F(VellupStreamingTranscriberTest, CancelReleasesAWaitingStartOrFinish) {
    VellupStreamingTranscriber transcriber(gatewayConfiguration(), std::nullopt);
    QCoro::Task<void> starting = transcriber.start();
    ASSERT_TRUE(waitForFrames(1));
    transcriber.cancel();
    EXPECT_EQ(failureOf(std::move(starting)), QStringLiteral("Vellup连接已关闭：已取消"));
    ASSERT_TRUE(waitUntil([&] { return server.clientCloseCode().has_value(); }, "the close"));
    EXPECT_EQ(*server.clientCloseCode(), 1001);

    // A final answer before finish() only updates the text; finish() then
    // waits for another, and cancel() hands back what there is.
    acknowledgeRequests();
    Observed observed;
    observe(transcriber, observed);
    runTask(transcriber.start());
    server.sendBinary(textResponse(QStringLiteral("先到的结果"), -2, true));
    ASSERT_TRUE(waitUntil([&] { return observed.partials.contains(QStringLiteral("先到的结果")); },
                          "the early answer"));
    QCoro::Task<QString> finishing = transcriber.finish();
    processEventsFor(100ms);
    transcriber.cancel();
    EXPECT_EQ(runTask(std::move(finishing)), QStringLiteral("先到的结果"));
}

TEST_F(VellupStreamingTranscriberTest, FinishWithoutAudioSendsTheLoneClosingFrame) {
    acknowledgeRequests();
    VellupStreamingTranscriber transcriber(gatewayConfiguration(), std::nullopt);
    runTask(transcriber.start());
    server.sendBinary(textResponse(QStringLiteral("早先"), 1));
    server.setMessageHandler([](const RecordedWebSocketMessage &, auto &self) {
        // A final acknowledgement without text keeps the earlier text.
        self.sendBinary(serverFrame(11, 0x3, 0, 0, -1, {}, false));
    });
    EXPECT_EQ(runTask(transcriber.finish()), QStringLiteral("早先"));
    EXPECT_EQ(server.binaryMessages().back(), QByteArray::fromHex("11230000ffffffff00000000"));
}

TEST_F(VellupStreamingTranscriberTest, DestroyingARunningRecogniserReleasesItsCallers) {
    acknowledgeRequests();
    auto transcriber =
        std::make_unique<VellupStreamingTranscriber>(gatewayConfiguration(), std::nullopt);
    Observed observed;
    observe(*transcriber, observed);
    runTask(transcriber->start());
    server.sendBinary(textResponse(QStringLiteral("半句"), 2));
    ASSERT_TRUE(waitUntil([&] { return observed.partials.size() == 1; }, "the partial"));
    QCoro::Task<QString> finishing = transcriber->finish();
    ASSERT_TRUE(waitForFrames(2));
    server.sendBinary(textResponse(QStringLiteral("迟到"), 3));
    transcriber.reset();
    EXPECT_EQ(runTask(std::move(finishing)), QStringLiteral("半句"));
    ASSERT_TRUE(waitUntil([&] { return !server.isConnected(); }, "the disconnect"));
    processEventsFor(50ms);
    EXPECT_EQ(observed.partials, QStringList{QStringLiteral("半句")});
}

TEST_F(VellupStreamingTranscriberTest, ARecogniserReleasedFromItsOwnInterruptionCallbackShutsDown) {
    // The controller may drop a broken recogniser right in the callback,
    // which runs on the recogniser's own thread: that thread cannot wait for
    // itself, so the shutdown has to happen elsewhere.
    static std::atomic<int> threadWarnings = 0;
    threadWarnings = 0;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
            if (message.contains(QStringLiteral("QThread")))
                ++threadWarnings;
        });
    acknowledgeRequests();
    std::atomic<VellupStreamingTranscriber *> owned =
        new VellupStreamingTranscriber(gatewayConfiguration(), std::nullopt);
    std::atomic<bool> releasedOffGuiThread = false;
    owned.load()->setOnInterruption([&](std::exception_ptr) {
        releasedOffGuiThread = !isGuiThread();
        delete owned.exchange(nullptr);
    });
    runTask(owned.load()->start());
    server.dropConnection();
    ASSERT_TRUE(waitUntil([&] { return owned.load() == nullptr; }, "the release"));
    EXPECT_TRUE(releasedOffGuiThread);
    processEventsFor(50ms);
    qInstallMessageHandler(previous);
    EXPECT_EQ(threadWarnings, 0) << "the thread waited on itself or was destroyed running";
}

} // namespace
} // namespace tovalit::testing
