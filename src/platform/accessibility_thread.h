#pragma once

#include "platform/cold_read.h"

#include <QFuture>
#include <QPromise>
#include <QtGlobal>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <memory>
#include <type_traits>

class QObject;
class QThread;

namespace tovalit {

class AccessibilityJob;

// The one thread that talks to other applications' accessibility trees.
// Element handles and the bus connection belong to it; every read and
// write of another application's tree runs here, one job at a time, so an
// application that answers slowly never stalls the user interface and the
// handles are never touched from two threads.
class AccessibilityThread {
public:
    // `clock`: what the deadlines of its jobs read; the steady clock when
    // null.
    explicit AccessibilityThread(ColdReadDeadline::Clock clock = nullptr);
    ~AccessibilityThread();
    AccessibilityThread(const AccessibilityThread &) = delete;
    AccessibilityThread &operator=(const AccessibilityThread &) = delete;

    // Queues `job`; jobs run one after the other, in the order queued.
    void post(std::function<void()> job);

    // Runs `job` on the thread; the caller resumes on its own thread (which
    // must run an event loop) with the job's result, or its exception.
    template <typename Job>
    QCoro::Task<std::invoke_result_t<Job &>> run(Job job);
    // The same, as a future.
    template <typename Job>
    QFuture<std::invoke_result_t<Job &>> submit(Job job);

    bool isCurrent() const;
    // The job running on the calling thread; null outside a job.
    static AccessibilityJob *currentJob();
    // An object living on the thread, for receivers of bus signals.
    QObject *context() const;

private:
    std::unique_ptr<QThread> m_thread;
    ColdReadDeadline::Clock m_clock;
    QObject *m_context = nullptr; // deleted on the thread when it stops
};

// Thrown into a waiting caller when the thread stopped before its job ran.
class AccessibilityThreadStopped : public std::exception {
public:
    const char *what() const noexcept override { return "accessibility thread stopped"; }
};

namespace detail {

// Keeps the promise of one job; when the job is dropped unrun (the thread
// stopped), the caller still hears about it instead of waiting forever.
template <typename Result>
struct AccessibilityJobPromise {
    QPromise<Result> promise;
    bool settled = false;
    AccessibilityJobPromise() { promise.start(); }
    ~AccessibilityJobPromise() {
        if (!settled) {
            promise.setException(std::make_exception_ptr(AccessibilityThreadStopped()));
            promise.finish();
        }
    }
};

} // namespace detail

template <typename Job>
QFuture<std::invoke_result_t<Job &>> AccessibilityThread::submit(Job job) {
    using Result = std::invoke_result_t<Job &>;
    auto state = std::make_shared<detail::AccessibilityJobPromise<Result>>();
    QFuture<Result> future = state->promise.future();
    post([state, job = std::make_shared<Job>(std::move(job))]() {
        try {
            if constexpr (std::is_void_v<Result>) {
                (*job)();
            } else {
                state->promise.addResult((*job)());
            }
        } catch (...) {
            state->promise.setException(std::current_exception());
        }
        state->settled = true;
        state->promise.finish();
    });
    return future;
}

namespace detail {

// Kept apart from run(): GCC 12 mishandles lambdas that capture from a
// coroutine's own parameters, so the coroutine only awaits.
template <typename Result>
QCoro::Task<Result> awaitAccessibilityResult(QFuture<Result> future) {
    if constexpr (std::is_void_v<Result>) {
        co_await future;
        future.waitForFinished(); // rethrows a stored exception
    } else {
        co_return co_await future;
    }
}

} // namespace detail

template <typename Job>
QCoro::Task<std::invoke_result_t<Job &>> AccessibilityThread::run(Job job) {
    return detail::awaitAccessibilityResult(submit(std::move(job)));
}

} // namespace tovalit
