#include "support/async_mutex.h"

#include <QMetaObject>
#include <QObject>

namespace tovalit {

class AsyncMutex::LockAwaiter {
public:
    explicit LockAwaiter(AsyncMutex *mutex)
        : m_mutex(mutex) {}

    bool await_ready() const noexcept { return false; }

    bool await_suspend(std::coroutine_handle<> handle) {
        std::lock_guard lock(m_mutex->m_stateMutex);
        if (!m_mutex->m_locked) {
            m_mutex->m_locked = true;
            return false; // acquired without suspending
        }
        m_mutex->m_waiters.push_back(handle);
        return true;
    }

    void await_resume() const noexcept {}

private:
    AsyncMutex *m_mutex;
};

AsyncMutex::AsyncMutex()
    : m_context(std::make_unique<QObject>()) {}

AsyncMutex::~AsyncMutex() = default;

AsyncMutex::Guard &AsyncMutex::Guard::operator=(Guard &&other) noexcept {
    if (this != &other) {
        unlock();
        m_mutex = std::exchange(other.m_mutex, nullptr);
    }
    return *this;
}

void AsyncMutex::Guard::unlock() {
    if (auto *mutex = std::exchange(m_mutex, nullptr))
        mutex->unlock();
}

QCoro::Task<AsyncMutex::Guard> AsyncMutex::lock() {
    co_await LockAwaiter(this);
    co_return Guard(this);
}

bool AsyncMutex::isLocked() const {
    std::lock_guard lock(m_stateMutex);
    return m_locked;
}

void AsyncMutex::unlock() {
    std::coroutine_handle<> next;
    {
        std::lock_guard lock(m_stateMutex);
        if (m_waiters.empty()) {
            m_locked = false;
            return;
        }
        // Ownership passes straight to the next waiter, so nobody can cut in
        // between this unlock and its resumption.
        next = m_waiters.front();
        m_waiters.pop_front();
    }
    QMetaObject::invokeMethod(
        m_context.get(), [next] { next.resume(); }, Qt::QueuedConnection);
}

} // namespace tovalit
