#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <exception>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>

namespace tovalit::testing {

// Thrown when a task or a condition does not finish within its limit.
class TestTimeout : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs this thread's event loop for `milliseconds` (timers fire, queued
// calls run, deferred deletes happen).
inline void pumpEvents(int milliseconds = 5) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

namespace detail {

template <typename T>
QCoro::Task<void> capture(QCoro::Task<T> task, std::optional<T> *result, std::exception_ptr *error,
                          bool *done) {
    try {
        result->emplace(co_await std::move(task));
    } catch (...) {
        *error = std::current_exception();
    }
    *done = true;
}

inline QCoro::Task<void> captureVoid(QCoro::Task<void> task, std::exception_ptr *error,
                                     bool *done) {
    try {
        co_await std::move(task);
    } catch (...) {
        *error = std::current_exception();
    }
    *done = true;
}

// Spins the event loop until `done` or the limit passes.
inline void spinUntil(const bool &done, std::chrono::milliseconds limit) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done) {
        if (elapsed.elapsed() > limit.count())
            throw TestTimeout("task did not finish within " + std::to_string(limit.count()) +
                              " ms");
        pumpEvents(5);
    }
}

} // namespace detail

// Runs a coroutine to completion on this thread's event loop and returns
// its value, or rethrows its exception. Throws TestTimeout after `limit`
// (the task is then abandoned, still suspended).
template <typename T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    // The state lives on the heap: an abandoned task may still write it.
    struct State {
        std::optional<T> result;
        std::exception_ptr error;
        bool done = false;
    };
    auto *state = new State;
    detail::capture(std::move(task), &state->result, &state->error, &state->done);
    detail::spinUntil(state->done, limit);
    std::unique_ptr<State> owned(state);
    if (owned->error)
        std::rethrow_exception(owned->error);
    return std::move(*owned->result);
}

inline void runTask(QCoro::Task<void> task,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    struct State {
        std::exception_ptr error;
        bool done = false;
    };
    auto *state = new State;
    detail::captureVoid(std::move(task), &state->error, &state->done);
    detail::spinUntil(state->done, limit);
    std::unique_ptr<State> owned(state);
    if (owned->error)
        std::rethrow_exception(owned->error);
}

// Processes events until `condition` holds; fails the test with
// `description` after `limit`. Never a fixed sleep.
inline bool waitUntil(const std::function<bool()> &condition, const char *description,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > limit.count()) {
            ADD_FAILURE() << "timed out after " << limit.count() << " ms waiting for "
                          << description;
            return false;
        }
        pumpEvents(5);
    }
    return true;
}

// Lets queued events run for a moment (for "nothing else happens" checks).
inline void processEventsFor(std::chrono::milliseconds duration) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < duration.count())
        pumpEvents(5);
}

} // namespace tovalit::testing
