#include "platform/accessibility_thread.h"
#include "tests/support/run_task.h"

#include <QThread>

#include <gtest/gtest.h>
#include <stdexcept>

namespace tovalit {
namespace {

using testing::runTask;

QCoro::Task<QList<int>> runInOrder(AccessibilityThread *thread, QThread **ranOn) {
    QList<int> order;
    auto first = thread->submit([&order, ranOn] {
        *ranOn = QThread::currentThread();
        order.append(1);
    });
    auto second = thread->submit([&order] {
        order.append(2);
        return 2;
    });
    co_await thread->run([&order] { order.append(3); });
    first.waitForFinished();
    second.waitForFinished();
    co_return order;
}

TEST(AccessibilityThread, JobsRunOneAfterAnotherOnTheThreadAndResultsComeBack) {
    AccessibilityThread thread;
    QThread *ranOn = nullptr;
    const QList<int> order = runTask(runInOrder(&thread, &ranOn));
    EXPECT_EQ(order, (QList<int>{1, 2, 3}));
    EXPECT_NE(ranOn, QThread::currentThread());
    EXPECT_EQ(runTask(thread.run([&thread] { return thread.isCurrent(); })), true);
    EXPECT_FALSE(thread.isCurrent());
}

TEST(AccessibilityThread, AJobsExceptionReachesTheCaller) {
    AccessibilityThread thread;
    EXPECT_THROW(runTask(thread.run([]() -> int { throw std::runtime_error("gone"); })),
                 std::runtime_error);
    EXPECT_THROW(runTask(thread.run([] { throw std::runtime_error("gone"); })), std::runtime_error);
}

TEST(AccessibilityThread, JobsLeftWhenTheThreadStopsAreReportedNotLost) {
    QFuture<int> pending;
    {
        AccessibilityThread thread;
        // Holds the thread busy so the next job is still queued at the stop.
        thread.post([] { QThread::msleep(50); });
        pending = thread.submit([] { return 1; });
    }
    EXPECT_TRUE(pending.isFinished());
}

} // namespace
} // namespace tovalit
