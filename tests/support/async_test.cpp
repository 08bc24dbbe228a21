#include "support/async_mutex.h"
#include "support/gui_thread.h"
#include "support/sleeper.h"
#include "support/spawn.h"
#include "tests/support/run_task.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>
#include <stdexcept>

namespace tovalit {
namespace {

using testing::runTask;
using testing::waitUntil;

QCoro::Task<void> sleepThenMark(double seconds, CancelToken token, bool *woke, bool *didWork) {
    co_await sleepFor(seconds, token);
    *woke = true;
    if (token.isCancelled())
        co_return;
    *didWork = true;
}

TEST(Cancellation, CancelledSleepEndsEarlyAndSkipsTheWorkAfterIt) {
    CancelToken token;
    bool woke = false;
    bool didWork = false;
    QElapsedTimer elapsed;
    elapsed.start();
    auto task = sleepThenMark(30.0, token, &woke, &didWork);
    QTimer::singleShot(20, [token] { token.cancel(); });
    runTask(std::move(task), std::chrono::seconds(5));
    EXPECT_TRUE(woke);
    EXPECT_FALSE(didWork);
    EXPECT_LT(elapsed.elapsed(), 2000);
}

TEST(Cancellation, SleepRunsItsFullTimeWhenNotCancelledAndNotAtAllWhenAlreadyCancelled) {
    QElapsedTimer elapsed;
    elapsed.start();
    runTask(sleepFor(0.05, CancelToken()));
    EXPECT_GE(elapsed.elapsed(), 45);

    CancelToken cancelled;
    cancelled.cancel();
    elapsed.restart();
    runTask(sleepFor(30.0, cancelled));
    EXPECT_LT(elapsed.elapsed(), 1000);
}

TEST(Cancellation, CancelFromAnotherThreadWakesTheSleeperOnItsOwnThread) {
    CancelToken token;
    QThread *resumedOn = nullptr;
    auto sleeper = [](CancelToken token, QThread **resumedOn) -> QCoro::Task<void> {
        co_await sleepFor(30.0, token);
        *resumedOn = QThread::currentThread();
    };
    auto task = sleeper(token, &resumedOn);
    std::unique_ptr<QThread> canceller(QThread::create([token] { token.cancel(); }));
    canceller->start();
    runTask(std::move(task), std::chrono::seconds(5));
    canceller->wait();
    EXPECT_EQ(resumedOn, QThread::currentThread());
}

TEST(Cancellation, SubscriptionsRunOnceAndNotAfterTheyAreDropped) {
    CancelToken token;
    int kept = 0;
    int dropped = 0;
    auto keep = token.onCancel([&kept] { ++kept; });
    (void)token.onCancel([&dropped] { ++dropped; }); // subscription destroyed at once
    token.cancel();
    token.cancel();
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(dropped, 0);

    int late = 0;
    auto lateSubscription = token.onCancel([&late] { ++late; });
    EXPECT_EQ(late, 1) << "subscribing to a cancelled token runs the callback at once";
}

TEST(Spawn, RunsAfterTheCurrentStatementAndLogsEscapedErrors) {
    QObject context;
    std::vector<QString> order;
    spawn(&context, [&order]() -> QCoro::Task<void> {
        order.push_back(QStringLiteral("task"));
        co_return;
    });
    order.push_back(QStringLiteral("caller"));
    ASSERT_TRUE(waitUntil([&] { return order.size() == 2; }, "the spawned task"));
    EXPECT_EQ(order, (std::vector<QString>{QStringLiteral("caller"), QStringLiteral("task")}));

    // A throwing task must not take the process down.
    bool ranAfter = false;
    spawn(&context, []() -> QCoro::Task<void> {
        throw std::runtime_error("boom");
        co_return;
    });
    spawn(&context, [&ranAfter]() -> QCoro::Task<void> {
        ranAfter = true;
        co_return;
    });
    EXPECT_TRUE(waitUntil([&] { return ranAfter; }, "the task after the failing one"));
}

TEST(Spawn, KeptTaskIsCancelledBeforeItsReplacementAndADeadContextNeverStarts) {
    QObject context;
    int finishedWork = 0;
    auto work = [&finishedWork](CancelToken token) -> QCoro::Task<void> {
        co_await sleepFor(0.2, token);
        if (token.isCancelled())
            co_return;
        ++finishedWork;
    };
    TaskHandle handle = spawnCancellable(&context, work);
    EXPECT_TRUE(handle.isRunning());
    testing::pumpEvents(20);
    handle.cancel();
    handle = spawnCancellable(&context, work);
    ASSERT_TRUE(waitUntil([&] { return !handle.isRunning(); }, "the replacement task"));
    EXPECT_EQ(finishedWork, 1);

    bool started = false;
    TaskHandle orphan;
    {
        QObject shortLived;
        orphan = spawnCancellable(&shortLived, [&started](CancelToken) -> QCoro::Task<void> {
            started = true;
            co_return;
        });
    }
    testing::pumpEvents(20);
    EXPECT_FALSE(started);
    EXPECT_FALSE(orphan.isRunning());
}

// Its owner going (the application quitting) ends a kept task still
// waiting: nothing cancels it after that, and nothing would ever resume it.
// The application's objects go once its event loop has ended for good:
// settled then, the waits end all the same.
TEST(Spawn, AKeptTaskEndsWithItsOwnerAlsoAfterTheLastEventLoop) {
    for (const bool afterTheLoop : {false, true}) {
        SCOPED_TRACE(afterTheLoop ? "settled after the last event loop" : "in the event loop");
        bool woke = false;
        bool didWork = false;
        TaskHandle handle;
        {
            QObject owner;
            handle = spawnCancellable(&owner, [&woke, &didWork](CancelToken token) {
                return sleepThenMark(3600.0, token, &woke, &didWork);
            });
            testing::pumpEvents(20);
            ASSERT_TRUE(handle.isRunning());
        }
        if (afterTheLoop)
            settleDetachedTasks();
        else
            waitUntil([&] { return !handle.isRunning(); }, "the task to end with its owner");
        EXPECT_FALSE(handle.isRunning());
        EXPECT_TRUE(woke);
        EXPECT_FALSE(didWork);
    }
}

QCoro::Task<void> holdMutex(AsyncMutex &mutex, int id, std::vector<int> *admitted, double hold) {
    auto guard = co_await mutex.lock();
    admitted->push_back(id);
    co_await sleepFor(hold, CancelToken());
    admitted->push_back(-id);
}

TEST(AsyncMutexTest, AdmitsWaitersOneAtATimeInTheOrderTheyAsked) {
    AsyncMutex mutex;
    std::vector<int> admitted;
    for (int id = 1; id <= 4; ++id)
        holdMutex(mutex, id, &admitted, id == 1 ? 0.03 : 0.0);
    ASSERT_TRUE(waitUntil([&] { return admitted.size() == 8; }, "all four holders"));
    EXPECT_EQ(admitted, (std::vector<int>{1, -1, 2, -2, 3, -3, 4, -4}));
    EXPECT_FALSE(mutex.isLocked());
}

TEST(GuiThread, AWorkerHopsBackToTheGuiThread) {
    QThread *ranOn = nullptr;
    std::unique_ptr<QThread> worker(QThread::create(
        [&ranOn] { postToGuiThread([&ranOn] { ranOn = QThread::currentThread(); }); }));
    worker->start();
    ASSERT_TRUE(waitUntil([&] { return ranOn != nullptr; }, "the posted call"));
    worker->wait();
    EXPECT_EQ(ranOn, QThread::currentThread());
    EXPECT_TRUE(isGuiThread());
}

} // namespace
} // namespace tovalit
