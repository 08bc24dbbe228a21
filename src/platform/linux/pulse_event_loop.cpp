#include "platform/linux/pulse_event_loop.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/time.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace tovalit {

struct PulseEventLoop::IoEvent {
    PulseEventLoop *loop = nullptr;
    int fd = -1;
    pa_io_event_flags_t events = PA_IO_EVENT_NULL;
    pa_io_event_cb_t callback = nullptr;
    void *data = nullptr;
    pa_io_event_destroy_cb_t destroy = nullptr;
    bool dead = false;
};

struct PulseEventLoop::TimeEvent {
    PulseEventLoop *loop = nullptr;
    bool enabled = false;
    Clock::time_point due;
    // As the caller gave it, for the callback.
    timeval given{};
    pa_time_event_cb_t callback = nullptr;
    void *data = nullptr;
    pa_time_event_destroy_cb_t destroy = nullptr;
    bool dead = false;
};

struct PulseEventLoop::DeferEvent {
    PulseEventLoop *loop = nullptr;
    bool enabled = true;
    pa_defer_event_cb_t callback = nullptr;
    void *data = nullptr;
    pa_defer_event_destroy_cb_t destroy = nullptr;
    bool dead = false;
};

namespace {

// The client library marks a time on the monotonic clock (rather than the
// wall clock) with this bit in the microseconds.
constexpr suseconds_t monotonicTimeFlag = suseconds_t(1) << 30;

// When `due` falls on the steady clock, which is the monotonic clock the
// library reads.
PulseEventLoop::Clock::time_point dueTime(const timeval &due) {
    using namespace std::chrono;
    if (due.tv_usec & monotonicTimeFlag) {
        return PulseEventLoop::Clock::time_point(duration_cast<PulseEventLoop::Clock::duration>(
            seconds(due.tv_sec) + microseconds(due.tv_usec & ~monotonicTimeFlag)));
    }
    timeval now{};
    gettimeofday(&now, nullptr);
    const auto fromNow = seconds(due.tv_sec - now.tv_sec) + microseconds(due.tv_usec - now.tv_usec);
    return PulseEventLoop::Clock::now() + duration_cast<PulseEventLoop::Clock::duration>(fromNow);
}

short pollEvents(pa_io_event_flags_t events) {
    return short(
        (events & PA_IO_EVENT_INPUT ? POLLIN : 0) | (events & PA_IO_EVENT_OUTPUT ? POLLOUT : 0) |
        (events & PA_IO_EVENT_HANGUP ? POLLHUP : 0) | (events & PA_IO_EVENT_ERROR ? POLLERR : 0));
}

pa_io_event_flags_t ioEvents(short revents) {
    return pa_io_event_flags_t(
        (revents & POLLIN ? PA_IO_EVENT_INPUT : 0) | (revents & POLLOUT ? PA_IO_EVENT_OUTPUT : 0) |
        (revents & POLLHUP ? PA_IO_EVENT_HANGUP : 0) | (revents & POLLERR ? PA_IO_EVENT_ERROR : 0));
}

// A new event of the loop's, kept in `events`.
template <typename Event, typename Callback>
Event *newEvent(PulseEventLoop &loop, std::vector<std::unique_ptr<Event>> &events,
                Callback callback, void *data) {
    auto event = std::make_unique<Event>();
    event->loop = &loop;
    event->callback = callback;
    event->data = data;
    events.push_back(std::move(event));
    return events.back().get();
}

} // namespace

PulseEventLoop::PulseEventLoop(const char *threadName) {
    m_wakeUp = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeUp < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    m_api.userdata = this;
    m_api.io_new = &PulseEventLoop::ioNew;
    m_api.io_enable = &PulseEventLoop::ioEnable;
    m_api.io_free = &PulseEventLoop::ioFree;
    m_api.io_set_destroy = &PulseEventLoop::ioSetDestroy;
    m_api.time_new = &PulseEventLoop::timeNew;
    m_api.time_restart = &PulseEventLoop::timeRestart;
    m_api.time_free = &PulseEventLoop::timeFree;
    m_api.time_set_destroy = &PulseEventLoop::timeSetDestroy;
    m_api.defer_new = &PulseEventLoop::deferNew;
    m_api.defer_enable = &PulseEventLoop::deferEnable;
    m_api.defer_free = &PulseEventLoop::deferFree;
    m_api.defer_set_destroy = &PulseEventLoop::deferSetDestroy;
    m_api.quit = &PulseEventLoop::quit;
    try {
        m_thread = std::thread([this, name = std::string(threadName)] {
            pthread_setname_np(pthread_self(), name.c_str());
            run();
        });
    } catch (...) {
        close(m_wakeUp);
        throw;
    }
}

PulseEventLoop::~PulseEventLoop() {
    lock();
    quit(&m_api, 0);
    unlock();
    m_thread.join();
    // Whatever the context left behind goes the way the library expects:
    // through its destroy callbacks.
    collectGarbage(true);
    close(m_wakeUp);
}

pa_mainloop_api *PulseEventLoop::api() {
    return &m_api;
}

void PulseEventLoop::run() {
    std::lock_guard held(m_mutex);
    while (!m_quit)
        iterate();
}

void PulseEventLoop::iterate() {
    // Deferred work comes first and alone, as in the library's own loop:
    // it is what the library queues to run "soon", before it looks at its
    // socket again.
    if (std::any_of(m_deferEvents.begin(), m_deferEvents.end(),
                    [](const auto &event) { return event->enabled && !event->dead; })) {
        dispatchDeferred();
    } else {
        collectDescriptors();
        const int ready = pollDescriptors(millisecondsToNextTimer());
        if (m_quit)
            return;
        dispatchTimers();
        if (ready > 0)
            dispatchDescriptors();
    }
    if (m_garbage)
        collectGarbage(false);
}

void PulseEventLoop::collectDescriptors() {
    m_descriptors.clear();
    m_polled.clear();
    m_descriptors.push_back({m_wakeUp, POLLIN, 0});
    m_polled.push_back(nullptr);
    for (const auto &event : m_ioEvents) {
        if (event->dead || event->events == PA_IO_EVENT_NULL)
            continue;
        m_descriptors.push_back({event->fd, pollEvents(event->events), 0});
        m_polled.push_back(event.get());
    }
}

int PulseEventLoop::millisecondsToNextTimer() const {
    bool any = false;
    Clock::time_point first = Clock::time_point::max();
    for (const auto &event : m_timeEvents) {
        if (event->dead || !event->enabled)
            continue;
        any = true;
        first = std::min(first, event->due);
    }
    if (!any)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(first - Clock::now()).count();
    return int(std::clamp<decltype(left)>(left, 0, 24 * 3600 * 1000));
}

int PulseEventLoop::pollDescriptors(int timeout) {
    m_polling = true;
    m_mutex.unlock();
    int ready = 0;
    bool polled = false;
    // A look without waiting (a timer is due) keeps the pause for the next
    // wait.
    if (timeout != 0 && m_holdOffUntil > Clock::now()) {
        // What is waiting already is read first: the pause begins once the
        // loop has caught up.
        ready = ::poll(m_descriptors.data(), m_descriptors.size(), 0);
        polled = ready != 0;
        if (!polled) {
            const Clock::time_point start = Clock::now();
            const Clock::time_point holdOffUntil = std::exchange(m_holdOffUntil, {});
            int pause =
                int(std::chrono::ceil<std::chrono::milliseconds>(holdOffUntil - start).count());
            if (timeout >= 0)
                pause = std::min(pause, timeout);
            // Only the wake-up descriptor, which lock() and changes to the
            // events write to.
            if (::poll(m_descriptors.data(), 1, std::max(pause, 0)) < 0)
                pause = 0;
            if (timeout >= 0) {
                const auto paused =
                    std::chrono::ceil<std::chrono::milliseconds>(Clock::now() - start).count();
                timeout = std::max(0, timeout - int(paused));
            }
        }
    }
    if (!polled)
        ready = ::poll(m_descriptors.data(), m_descriptors.size(), timeout);
    m_mutex.lock();
    m_polling = false;
    if (ready > 0 && m_descriptors.front().revents)
        drainWakeUps();
    return ready;
}

void PulseEventLoop::dispatchTimers() {
    const Clock::time_point now = Clock::now();
    // By index: a callback may add timers, which are not due yet.
    for (size_t index = 0; index < m_timeEvents.size() && !m_quit; ++index) {
        TimeEvent *event = m_timeEvents[index].get();
        if (event->dead || !event->enabled || event->due > now)
            continue;
        event->enabled = false;
        const timeval given = event->given;
        event->callback(&m_api, reinterpret_cast<pa_time_event *>(event), &given, event->data);
    }
}

void PulseEventLoop::dispatchDescriptors() {
    // The watches polled, still alive: a callback may free others (they
    // are only marked until the round ends) or add new ones (not polled).
    for (size_t index = 1; index < m_descriptors.size() && !m_quit; ++index) {
        IoEvent *event = m_polled[index];
        const short happened =
            short(m_descriptors[index].revents & (pollEvents(event->events) | POLLHUP | POLLERR));
        if (event->dead || happened == 0)
            continue;
        event->callback(&m_api, reinterpret_cast<pa_io_event *>(event), event->fd,
                        ioEvents(happened), event->data);
    }
}

void PulseEventLoop::dispatchDeferred() {
    for (size_t index = 0; index < m_deferEvents.size() && !m_quit; ++index) {
        DeferEvent *event = m_deferEvents[index].get();
        if (event->dead || !event->enabled)
            continue;
        event->callback(&m_api, reinterpret_cast<pa_defer_event *>(event), event->data);
    }
}

void PulseEventLoop::collectGarbage(bool all) {
    m_garbage = false;
    // A destroy callback may free further events; each is taken out of its
    // list before its callback runs.
    const auto sweep = [this, all](auto &events, auto destroyed) {
        for (size_t index = 0; index < events.size();) {
            if (!all && !events[index]->dead) {
                ++index;
                continue;
            }
            auto event = std::move(events[index]);
            events.erase(events.begin() + std::ptrdiff_t(index));
            if (event->destroy)
                event->destroy(&m_api, destroyed(event.get()), event->data);
        }
    };
    sweep(m_ioEvents, [](IoEvent *event) { return reinterpret_cast<pa_io_event *>(event); });
    sweep(m_timeEvents, [](TimeEvent *event) { return reinterpret_cast<pa_time_event *>(event); });
    sweep(m_deferEvents,
          [](DeferEvent *event) { return reinterpret_cast<pa_defer_event *>(event); });
}

void PulseEventLoop::wakeUp() {
    if (!m_polling)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeUp, &one, sizeof one);
}

void PulseEventLoop::letGo(bool &dead) {
    // Freed once the round ends: the event may be the one being dispatched.
    dead = true;
    m_garbage = true;
    wakeUp();
}

void PulseEventLoop::drainWakeUps() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_wakeUp, &count, sizeof count);
}

void PulseEventLoop::lock() {
    assert(!isLoopThread());
    // The loop may be pausing; it sees nothing but this until the pause
    // ends, and what the caller is about to change may be what it waits
    // for.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeUp, &one, sizeof one);
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

PulseEventLoop &PulseEventLoop::loopOf(pa_mainloop_api *api) {
    return *static_cast<PulseEventLoop *>(api->userdata);
}

pa_io_event *PulseEventLoop::ioNew(pa_mainloop_api *api, int fd, pa_io_event_flags_t events,
                                   pa_io_event_cb_t callback, void *data) {
    PulseEventLoop &loop = loopOf(api);
    IoEvent *event = newEvent(loop, loop.m_ioEvents, callback, data);
    event->fd = fd;
    event->events = events;
    loop.wakeUp();
    return reinterpret_cast<pa_io_event *>(event);
}

void PulseEventLoop::ioEnable(pa_io_event *event, pa_io_event_flags_t events) {
    auto *io = reinterpret_cast<IoEvent *>(event);
    if (io->events == events)
        return;
    io->events = events;
    io->loop->wakeUp();
}

void PulseEventLoop::ioFree(pa_io_event *event) {
    auto *io = reinterpret_cast<IoEvent *>(event);
    io->loop->letGo(io->dead);
}

void PulseEventLoop::ioSetDestroy(pa_io_event *event, pa_io_event_destroy_cb_t callback) {
    reinterpret_cast<IoEvent *>(event)->destroy = callback;
}

pa_time_event *PulseEventLoop::timeNew(pa_mainloop_api *api, const struct timeval *due,
                                       pa_time_event_cb_t callback, void *data) {
    PulseEventLoop &loop = loopOf(api);
    TimeEvent *event = newEvent(loop, loop.m_timeEvents, callback, data);
    timeRestart(reinterpret_cast<pa_time_event *>(event), due);
    return reinterpret_cast<pa_time_event *>(event);
}

void PulseEventLoop::timeRestart(pa_time_event *event, const struct timeval *due) {
    auto *timer = reinterpret_cast<TimeEvent *>(event);
    // No time disables the timer.
    timer->enabled = due != nullptr;
    if (due) {
        timer->given = *due;
        timer->due = dueTime(*due);
    }
    timer->loop->wakeUp();
}

void PulseEventLoop::timeFree(pa_time_event *event) {
    auto *timer = reinterpret_cast<TimeEvent *>(event);
    timer->loop->letGo(timer->dead);
}

void PulseEventLoop::timeSetDestroy(pa_time_event *event, pa_time_event_destroy_cb_t callback) {
    reinterpret_cast<TimeEvent *>(event)->destroy = callback;
}

pa_defer_event *PulseEventLoop::deferNew(pa_mainloop_api *api, pa_defer_event_cb_t callback,
                                         void *data) {
    PulseEventLoop &loop = loopOf(api);
    DeferEvent *event = newEvent(loop, loop.m_deferEvents, callback, data);
    loop.wakeUp();
    return reinterpret_cast<pa_defer_event *>(event);
}

void PulseEventLoop::deferEnable(pa_defer_event *event, int enabled) {
    auto *deferred = reinterpret_cast<DeferEvent *>(event);
    deferred->enabled = enabled != 0;
    if (deferred->enabled)
        deferred->loop->wakeUp();
}

void PulseEventLoop::deferFree(pa_defer_event *event) {
    auto *deferred = reinterpret_cast<DeferEvent *>(event);
    deferred->loop->letGo(deferred->dead);
}

void PulseEventLoop::deferSetDestroy(pa_defer_event *event, pa_defer_event_destroy_cb_t callback) {
    reinterpret_cast<DeferEvent *>(event)->destroy = callback;
}

void PulseEventLoop::quit(pa_mainloop_api *api, int) {
    PulseEventLoop &loop = loopOf(api);
    loop.m_quit = true;
    loop.wakeUp();
}

} // namespace tovalit
