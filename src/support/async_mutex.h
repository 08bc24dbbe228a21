#pragma once

#include <qcoro/qcorotask.h>

#include <coroutine>
#include <deque>
#include <memory>
#include <mutex>

class QObject;

namespace tovalit {

// Keeps an actor's suspending operations one at a time. Waiters are
// admitted in the order they asked; a waiter is resumed through the event
// loop of the thread that created the mutex, never inside unlock().
// Destroying the mutex while coroutines wait on it abandons them.
class AsyncMutex {
public:
    AsyncMutex();
    ~AsyncMutex();
    AsyncMutex(const AsyncMutex &) = delete;
    AsyncMutex &operator=(const AsyncMutex &) = delete;

    class Guard {
    public:
        Guard() = default;
        explicit Guard(AsyncMutex *mutex)
            : m_mutex(mutex) {}
        Guard(Guard &&other) noexcept
            : m_mutex(std::exchange(other.m_mutex, nullptr)) {}
        Guard &operator=(Guard &&other) noexcept;
        Guard(const Guard &) = delete;
        Guard &operator=(const Guard &) = delete;
        ~Guard() { unlock(); }

        void unlock();

    private:
        AsyncMutex *m_mutex = nullptr;
    };

    // Resolves once the caller holds the mutex; the guard releases it.
    QCoro::Task<Guard> lock();
    bool isLocked() const;

private:
    class LockAwaiter;
    void unlock();

    mutable std::mutex m_stateMutex;
    bool m_locked = false;
    std::deque<std::coroutine_handle<>> m_waiters;
    std::unique_ptr<QObject> m_context;
};

} // namespace tovalit
