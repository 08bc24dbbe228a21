#pragma once

#include <qcoro/qcorotask.h>

#include <exception>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace tovalit::testing {

// A coroutine started on this thread's event loop and left to run: the
// test looks at it while it is still on its way (waiting on a keyring, a
// gate, a sleeper) and once it is done.
template <typename T>
struct TaskInFlight {
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;
};

namespace detail {

template <typename T>
QCoro::Task<void> follow(QCoro::Task<T> task, std::shared_ptr<TaskInFlight<T>> state) {
    try {
        state->value.emplace(co_await std::move(task));
    } catch (...) {
        state->error = std::current_exception();
    }
    state->done = true;
}

inline QCoro::Task<void> followVoid(QCoro::Task<void> task,
                                    std::shared_ptr<TaskInFlight<std::monostate>> state) {
    try {
        co_await std::move(task);
        state->value.emplace();
    } catch (...) {
        state->error = std::current_exception();
    }
    state->done = true;
}

// Kept, and reachable, for the life of the process: a task whose owner
// went while it waited is never resumed, and its frames are no leak.
inline void keep(QCoro::Task<void> follower) {
    static auto *const kept = new std::vector<QCoro::Task<void>>;
    kept->push_back(std::move(follower));
}

} // namespace detail

template <typename T>
std::shared_ptr<TaskInFlight<T>> startTask(QCoro::Task<T> task) {
    auto state = std::make_shared<TaskInFlight<T>>();
    detail::keep(detail::follow(std::move(task), state));
    return state;
}

inline std::shared_ptr<TaskInFlight<std::monostate>> startTask(QCoro::Task<void> task) {
    auto state = std::make_shared<TaskInFlight<std::monostate>>();
    detail::keep(detail::followVoid(std::move(task), state));
    return state;
}

} // namespace tovalit::testing
