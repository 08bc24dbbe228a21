#include "platform/linux/pulse_event_loop.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <pthread.h>
#include <pulse/mainloop.h>
#include <string>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace tovalit {

PulseEventLoop::PulseEventLoop(const char *threadName) {
    m_interrupt = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_interrupt < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    m_mainloop = pa_mainloop_new();
    if (!m_mainloop) {
        close(m_interrupt);
        throw std::system_error(ENOMEM, std::generic_category(), "pa_mainloop_new");
    }
    pa_mainloop_set_poll_func(m_mainloop, &PulseEventLoop::poll, this);
    try {
        m_thread = std::thread([this, name = std::string(threadName)] {
            pthread_setname_np(pthread_self(), name.c_str());
            run();
        });
    } catch (...) {
        pa_mainloop_free(m_mainloop);
        close(m_interrupt);
        throw;
    }
}

PulseEventLoop::~PulseEventLoop() {
    lock();
    pa_mainloop_quit(m_mainloop, 0);
    unlock();
    m_thread.join();
    pa_mainloop_free(m_mainloop);
    close(m_interrupt);
}

pa_mainloop_api *PulseEventLoop::api() const {
    return pa_mainloop_get_api(m_mainloop);
}

void PulseEventLoop::run() {
    std::lock_guard held(m_mutex);
    while (pa_mainloop_iterate(m_mainloop, 1, nullptr) >= 0) {
    }
}

void PulseEventLoop::lock() {
    assert(!isLoopThread());
    // The loop may be pausing; it sees nothing but this until the pause
    // ends, and what the caller is about to change may be what it waits
    // for.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_interrupt, &one, sizeof one);
    m_mutex.lock();
}

void PulseEventLoop::unlock() {
    m_mutex.unlock();
}

void PulseEventLoop::wait() {
    assert(!isLoopThread());
    m_condition.wait(m_mutex);
}

void PulseEventLoop::signal() {
    m_condition.notify_all();
}

bool PulseEventLoop::isLoopThread() const {
    return std::this_thread::get_id() == m_thread.get_id();
}

void PulseEventLoop::holdOffUntil(Clock::time_point deadline) {
    assert(isLoopThread());
    m_holdOffUntil = deadline;
}

// The loop's poll function, called with the lock held: the lock is free
// while the loop sleeps, as in libpulse's own threaded loop.
int PulseEventLoop::poll(pollfd *descriptors, unsigned long count, int timeout, void *data) {
    auto *loop = static_cast<PulseEventLoop *>(data);
    loop->m_mutex.unlock();
    const int ready = loop->pollHoldingOff(descriptors, count, timeout);
    const int error = errno;
    loop->m_mutex.lock();
    errno = error;
    return ready;
}

int PulseEventLoop::pollHoldingOff(pollfd *descriptors, unsigned long count, int timeout) {
    const Clock::time_point start = Clock::now();
    // A look without waiting (the loop has deferred work) keeps the pause
    // for the next wait.
    if (timeout != 0 && m_holdOffUntil > start) {
        // What is waiting already is read first: the pause begins once the
        // loop has caught up.
        const int ready = ::poll(descriptors, count, 0);
        if (ready != 0)
            return ready;
        const Clock::time_point holdOffUntil = std::exchange(m_holdOffUntil, {});
        using std::chrono::ceil;
        using std::chrono::milliseconds;
        int pause = int(ceil<milliseconds>(holdOffUntil - start).count());
        if (timeout >= 0)
            pause = std::min(pause, timeout);
        pollfd interrupt{m_interrupt, POLLIN, 0};
        if (::poll(&interrupt, 1, pause) > 0) {
            std::uint64_t drained = 0;
            [[maybe_unused]] const ssize_t read = ::read(m_interrupt, &drained, sizeof drained);
        }
        if (timeout >= 0) {
            const auto paused = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
            timeout = std::max(0, timeout - int(paused.count()));
        }
    }
    return ::poll(descriptors, count, timeout);
}

} // namespace tovalit
