#include "platform/fake/scripted_speech_engine.h"
#include "services/speech/apple_speech_transcriber.h"
#include "support/gui_thread.h"
#include "tests/support/pcm_signals.h"
#include "tests/support/run_task.h"

#include <QFuture>
#include <QPromise>
#include <qcoro/qcorofuture.h>

#include <gtest/gtest.h>
#include <thread>

using namespace tovalit;
using namespace tovalit::testing;

namespace {

using Error = AppleSpeechTranscriberError;

class RecognitionFailure : public AppError {
public:
    QString localizedDescription() const override { return QStringLiteral("识别失败"); }
};

QCoro::Task<void> awaitFuture(QFuture<void> future) {
    co_await future;
}

// Sleeps that end only when the test says so (or on cancellation).
class ManualSleeper {
public:
    struct Sleep {
        double seconds = 0;
        std::shared_ptr<QPromise<void>> promise;
        std::shared_ptr<CancelSubscription> subscription;
    };

    Sleeper sleeper() {
        return [sleeps = m_sleeps](double seconds, CancelToken token) {
            auto promise = std::make_shared<QPromise<void>>();
            promise->start();
            QFuture<void> future = promise->future();
            auto subscription =
                std::make_shared<CancelSubscription>(token.onCancel([promise] { end(*promise); }));
            sleeps->push_back({seconds, promise, subscription});
            return awaitFuture(future);
        };
    }

    std::size_t count() const { return m_sleeps->size(); }
    const Sleep &at(std::size_t index) const { return m_sleeps->at(index); }
    void wakeAll() {
        for (auto &sleep : *m_sleeps)
            end(*sleep.promise);
    }

private:
    static void end(QPromise<void> &promise) {
        if (!promise.future().isFinished())
            promise.finish();
    }
    std::shared_ptr<std::vector<Sleep>> m_sleeps = std::make_shared<std::vector<Sleep>>();
};

class AppleSpeechTranscriberTest : public ::testing::Test {
protected:
    std::shared_ptr<AppleSpeechTranscriber> makeTranscriber(const QString &locale = "en-US") {
        auto transcriber =
            std::make_shared<AppleSpeechTranscriber>(locale, engine, sleeps.sleeper());
        transcriber->setOnPartial([this](const QString &text) {
            partialsOnGuiThread = partialsOnGuiThread && isGuiThread();
            partials.append(text);
        });
        return transcriber;
    }

    // The error a call ends in, which must be the transcriber's own.
    template <typename T>
    Error errorOf(QCoro::Task<T> task) {
        try {
            runTask(std::move(task));
        } catch (const Error &error) {
            return error;
        }
        ADD_FAILURE() << "no AppleSpeechTranscriberError";
        return Error(Error::Kind::recognizerUnavailable);
    }

    void waitForPartials(qsizetype count) {
        waitUntil([&] { return partials.size() >= count; }, "partial texts");
    }

    std::shared_ptr<ScriptedSpeechEngine> engine = std::make_shared<ScriptedSpeechEngine>();
    ManualSleeper sleeps;
    QStringList partials;
    bool partialsOnGuiThread = true;
};

TEST_F(AppleSpeechTranscriberTest, StartNeedsPermissionAndARecognizer) {
    auto transcriber = makeTranscriber();
    EXPECT_EQ(transcriber->engineName(), QStringLiteral("本地实时转写"));

    engine->setAuthorization(OnDeviceSpeechEngine::Authorization::denied);
    const Error denied = errorOf(transcriber->start());
    EXPECT_EQ(denied.kind(), Error::Kind::speechPermissionDenied);
    EXPECT_EQ(denied.localizedDescription(), QStringLiteral("未获得语音识别权限。"));
    EXPECT_TRUE(engine->requestedLocales().isEmpty());
    engine->setAuthorization(OnDeviceSpeechEngine::Authorization::authorized);

    // No recogniser for the locale: Chinese is tried next.
    auto french = makeTranscriber(QStringLiteral("fr-FR"));
    engine->setSupportedLocales({QStringLiteral("zh-CN")});
    runTask(french->start());
    EXPECT_EQ(engine->requestedLocales(), (QStringList{"fr-FR", "zh-CN"}));
    EXPECT_EQ(engine->taskCount(), 1);
    french->cancel();

    engine->setSupportedLocales({});
    const Error none = errorOf(makeTranscriber(QStringLiteral("fr-FR"))->start());
    EXPECT_EQ(none.kind(), Error::Kind::recognizerUnavailable);
    EXPECT_EQ(none.localizedDescription(), QStringLiteral("当前语音识别服务不可用。"));

    engine->setSupportedLocales({QStringLiteral("en-US")});
    engine->setRecognizersAvailable(false);
    EXPECT_EQ(errorOf(transcriber->start()).kind(), Error::Kind::recognizerUnavailable);
    EXPECT_EQ(engine->taskCount(), 1);
}

TEST_F(AppleSpeechTranscriberTest, SegmentsEndedByTheRecognizerJoinWithLineFeeds) {
    auto transcriber = makeTranscriber();
    runTask(transcriber->start());
    ASSERT_EQ(engine->taskCount(), 1);

    const PcmBuffer buffer = constantBuffer({48000, 1, PcmSampleType::Float32, true}, 1024, 0.1);
    transcriber->append(buffer);
    EXPECT_EQ(engine->requestOf(0).buffers, 1);

    // Results arrive on the recogniser's own thread.
    std::thread([&] {
        engine->deliverResult(0, QStringLiteral(" 第一段 "), false);
        engine->deliverResult(0, QStringLiteral("第一段话"), true);
    }).join();
    // The final result started a new task on a new request; the old task
    // is let go.
    ASSERT_EQ(engine->taskCount(), 2);
    EXPECT_TRUE(engine->isTaskCancelled(0));
    transcriber->append(buffer);
    EXPECT_EQ(engine->requestOf(0).buffers, 1);
    EXPECT_EQ(engine->requestOf(1).buffers, 1);

    std::thread([&] { engine->deliverResult(1, QStringLiteral("second"), false); }).join();
    waitForPartials(3);
    EXPECT_EQ(partials, (QStringList{"第一段", "第一段话", "第一段话\nsecond"}));
    EXPECT_TRUE(partialsOnGuiThread);

    QCoro::Task<QString> finishing = transcriber->finish();
    EXPECT_TRUE(engine->requestOf(1).audioEnded);
    ASSERT_TRUE(waitUntil([&] { return sleeps.count() == 1; }, "the watchdog"));
    EXPECT_EQ(sleeps.at(0).seconds, 6.0);
    std::thread([&] { engine->deliverResult(1, QStringLiteral("second part"), true); }).join();
    EXPECT_EQ(runTask(std::move(finishing)), QStringLiteral("第一段话\nsecond part"));
    // Finishing ended the last task and disarmed the watchdog.
    EXPECT_TRUE(engine->isTaskCancelled(1));
    EXPECT_EQ(engine->taskCount(), 2);
    EXPECT_TRUE(sleeps.at(0).promise->future().isFinished());
}

TEST_F(AppleSpeechTranscriberTest, WithoutAFinalResultFinishTimesOutWithTheSnapshot) {
    auto transcriber = makeTranscriber();
    runTask(transcriber->start());
    engine->deliverResult(0, QStringLiteral("Hello"), true); // only a new segment
    ASSERT_EQ(engine->taskCount(), 2);
    engine->deliverResult(1, QStringLiteral("world"), false);

    QCoro::Task<QString> finishing = transcriber->finish();
    ASSERT_TRUE(waitUntil([&] { return sleeps.count() == 1; }, "the watchdog"));
    // Nothing more from the recogniser: the six seconds run out.
    sleeps.wakeAll();
    const Error timedOut = errorOf(std::move(finishing));
    EXPECT_EQ(timedOut, Error::finalizationTimedOut(QStringLiteral("Hello\nworld")));
    EXPECT_EQ(timedOut.localizedDescription(),
              QStringLiteral("等待最终转写结果超时，已保留最后一版实时文本。"));
    EXPECT_TRUE(engine->isTaskCancelled(1));
}

TEST_F(AppleSpeechTranscriberTest, EventsOfReplacedTasksChangeNothing) {
    auto transcriber = makeTranscriber();
    runTask(transcriber->start());
    engine->deliverResult(0, QStringLiteral("one"), true);
    ASSERT_EQ(engine->taskCount(), 2);

    // Late words and errors of task 0 are ignored: no text, no new task.
    engine->deliverResult(0, QStringLiteral("stale words"), false);
    engine->deliverResult(0, QStringLiteral("stale words"), true);
    engine->deliverError(0, std::make_exception_ptr(RecognitionFailure()));
    EXPECT_EQ(engine->taskCount(), 2);

    QCoro::Task<QString> finishing = transcriber->finish();
    engine->deliverResult(1, QStringLiteral("two"), true);
    EXPECT_EQ(runTask(std::move(finishing)), QStringLiteral("one\ntwo"));
    waitForPartials(2);
    processEventsFor(std::chrono::milliseconds(20));
    EXPECT_FALSE(partials.join(u'|').contains(QStringLiteral("stale")));
}

TEST_F(AppleSpeechTranscriberTest, CancelResolvesAWaitingFinishWithTheLastText) {
    auto transcriber = makeTranscriber();
    runTask(transcriber->start());
    engine->deliverResult(0, QStringLiteral("  almost done  "), false);
    QCoro::Task<QString> finishing = transcriber->finish();
    transcriber->cancel();
    EXPECT_EQ(runTask(std::move(finishing)), QStringLiteral("almost done"));
    EXPECT_TRUE(engine->isTaskCancelled(0));
    // Everything is let go: buffers go nowhere, a second cancel is harmless.
    transcriber->append(constantBuffer({16000, 1, PcmSampleType::Int16, true}, 160, 0));
    EXPECT_EQ(engine->requestOf(0).buffers, 0);
    transcriber->cancel();
}

TEST_F(AppleSpeechTranscriberTest, ErrorsStartNewSegmentsOrEndFinishing) {
    auto transcriber = makeTranscriber();
    runTask(transcriber->start());

    // While the user speaks an error only ends the segment.
    engine->deliverResult(0, QStringLiteral("kept"), false);
    engine->deliverError(0, std::make_exception_ptr(RecognitionFailure()));
    ASSERT_EQ(engine->taskCount(), 2);

    // While finishing, with text: that text is the result.
    QCoro::Task<QString> finishing = transcriber->finish();
    engine->deliverError(1, std::make_exception_ptr(RecognitionFailure()));
    EXPECT_EQ(runTask(std::move(finishing)), QStringLiteral("kept"));

    // While finishing, with nothing recognised at all: the error itself.
    auto silent = makeTranscriber();
    runTask(silent->start());
    const int task = engine->taskCount() - 1;
    QCoro::Task<QString> silentFinish = silent->finish();
    engine->deliverError(task, std::make_exception_ptr(RecognitionFailure()));
    EXPECT_THROW(runTask(std::move(silentFinish)), RecognitionFailure);
}

TEST(AppleSpeechTranscriberText, SegmentsJoinOnlyWhatHoldsText) {
    EXPECT_EQ(AppleSpeechTranscriber::combined({}, {}), QString());
    EXPECT_EQ(AppleSpeechTranscriber::combined("a", {}), QStringLiteral("a"));
    EXPECT_EQ(AppleSpeechTranscriber::combined({}, "b"), QStringLiteral("b"));
    EXPECT_EQ(AppleSpeechTranscriber::combined("a", "b"), QStringLiteral("a\nb"));
    EXPECT_EQ(AppleSpeechTranscriber::appendingSegment("a", QStringLiteral(" \n\u3000")),
              QStringLiteral("a"));
    EXPECT_EQ(AppleSpeechTranscriber::appendingSegment("a", QStringLiteral("  b ")),
              QStringLiteral("a\nb"));
}

} // namespace
