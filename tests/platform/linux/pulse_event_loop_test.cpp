// The capture thread's event loop, without a sound server: a pause it takes
// while waiting for audio must never keep a stop, a query or the loop's own
// timers waiting.

#include "platform/linux/pulse_event_loop.h"

#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <pulse/mainloop-api.h>
#include <sys/time.h>
#include <unistd.h>

using namespace tovalit;
using namespace std::chrono_literals;

namespace {

// Far longer than any test may take: only an interruption or a timer ends
// a pause this long before the test gives up.
constexpr auto longPause = std::chrono::minutes(1);
constexpr auto patience = 10s;

// Runs `action` once on the loop's thread, as a callback of the loop.
template <typename Action>
void runOnLoop(PulseEventLoop &loop, Action action) {
    struct Call {
        Action action;
    };
    pa_mainloop_api *api = loop.api();
    loop.lock();
    api->defer_new(
        api,
        [](pa_mainloop_api *api, pa_defer_event *event, void *data) {
            auto *call = static_cast<Call *>(data);
            call->action();
            delete call;
            api->defer_free(event);
        },
        new Call{std::move(action)});
    loop.unlock();
}

// Runs `action` on the loop's thread once `delay` has passed, from a timer:
// unlike a request made under the lock, nothing interrupts the loop.
void runOnLoopAfter(PulseEventLoop &loop, std::chrono::milliseconds delay,
                    std::function<void()> action) {
    timeval due{};
    gettimeofday(&due, nullptr);
    const auto micros = due.tv_usec + std::chrono::microseconds(delay).count();
    due.tv_sec += time_t(micros / 1000000);
    due.tv_usec = suseconds_t(micros % 1000000);
    pa_mainloop_api *api = loop.api();
    api->time_new(
        api, &due,
        [](pa_mainloop_api *api, pa_time_event *event, const timeval *, void *data) {
            auto *call = static_cast<std::function<void()> *>(data);
            (*call)();
            delete call;
            api->time_free(event);
        },
        new std::function<void()>(std::move(action)));
}

TEST(PulseEventLoop, APauseEndsForALockAndForTheLoopsOwnTimers) {
    PulseEventLoop loop("pulse-test");
    EXPECT_FALSE(loop.isLoopThread());

    // A request made under the lock while the loop pauses runs at once.
    std::promise<void> paused;
    runOnLoop(loop, [&] {
        runOnLoopAfter(loop, 10ms, [&] {
            loop.holdOffUntil(PulseEventLoop::Clock::now() + longPause);
            paused.set_value();
        });
    });
    ASSERT_EQ(paused.get_future().wait_for(patience), std::future_status::ready);
    std::promise<void> requested;
    runOnLoop(loop, [&requested] { requested.set_value(); });
    EXPECT_EQ(requested.get_future().wait_for(patience), std::future_status::ready)
        << "a pause kept the loop from a request made under its lock";

    // A timer that falls due during a pause fires on time.
    std::promise<void> fired;
    runOnLoop(loop, [&] {
        runOnLoopAfter(loop, 10ms, [&] {
            loop.holdOffUntil(PulseEventLoop::Clock::now() + longPause);
            runOnLoopAfter(loop, 50ms, [&fired] { fired.set_value(); });
        });
    });
    EXPECT_EQ(fired.get_future().wait_for(patience), std::future_status::ready)
        << "a pause held back a timer of the loop";
}

TEST(PulseEventLoop, WaitSleepsUntilACallbackSignals) {
    PulseEventLoop loop("pulse-test");
    bool done = false;
    loop.lock();
    pa_mainloop_api *api = loop.api();
    struct Waiter {
        PulseEventLoop *loop;
        bool *done;
    } waiter{&loop, &done};
    api->defer_new(
        api,
        [](pa_mainloop_api *api, pa_defer_event *event, void *data) {
            auto *waiter = static_cast<Waiter *>(data);
            *waiter->done = true;
            waiter->loop->signal();
            api->defer_free(event);
        },
        &waiter);
    while (!done)
        loop.wait();
    loop.unlock();
    EXPECT_TRUE(done);
}

// The client library gives its timeouts on the monotonic clock, marked by
// a bit in the microseconds, and watches its socket; what it frees goes
// through the destroy callbacks it set.
TEST(PulseEventLoop, TimersOnTheMonotonicClockAndWatchesOfDescriptors) {
    PulseEventLoop loop("pulse-test");
    pa_mainloop_api *api = loop.api();

    struct Timer {
        std::promise<std::chrono::steady_clock::time_point> firedAt;
    } timer;
    const auto due = std::chrono::steady_clock::now() + 30ms;
    const auto sinceBoot =
        std::chrono::duration_cast<std::chrono::microseconds>(due.time_since_epoch()).count();
    timeval monotonicDue{time_t(sinceBoot / 1000000), suseconds_t(sinceBoot % 1000000)};
    monotonicDue.tv_usec |= suseconds_t(1) << 30;
    loop.lock();
    api->time_new(
        api, &monotonicDue,
        [](pa_mainloop_api *api, pa_time_event *event, const timeval *, void *data) {
            static_cast<Timer *>(data)->firedAt.set_value(std::chrono::steady_clock::now());
            api->time_free(event);
        },
        &timer);
    loop.unlock();
    auto firedAt = timer.firedAt.get_future();
    ASSERT_EQ(firedAt.wait_for(patience), std::future_status::ready)
        << "a timer on the monotonic clock never fired";
    EXPECT_GE(firedAt.get(), due) << "a timer on the monotonic clock fired early";

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    struct Watch {
        int fd;
        std::promise<pa_io_event_flags_t> happened;
        std::promise<void> destroyed;
    } watch{pipeEnds[0], {}, {}};
    loop.lock();
    pa_io_event *event = api->io_new(
        api, pipeEnds[0], PA_IO_EVENT_INPUT,
        [](pa_mainloop_api *api, pa_io_event *event, int fd, pa_io_event_flags_t flags,
           void *data) {
            auto *watch = static_cast<Watch *>(data);
            char byte = 0;
            EXPECT_EQ(read(fd, &byte, 1), 1);
            watch->happened.set_value(flags);
            api->io_free(event);
        },
        &watch);
    api->io_set_destroy(event, [](pa_mainloop_api *, pa_io_event *, void *data) {
        static_cast<Watch *>(data)->destroyed.set_value();
    });
    loop.unlock();
    ASSERT_EQ(write(pipeEnds[1], "x", 1), 1);
    auto happened = watch.happened.get_future();
    ASSERT_EQ(happened.wait_for(patience), std::future_status::ready)
        << "a readable descriptor was never reported";
    EXPECT_EQ(happened.get(), PA_IO_EVENT_INPUT);
    EXPECT_EQ(watch.destroyed.get_future().wait_for(patience), std::future_status::ready)
        << "a freed watch never had its destroy callback";
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

} // namespace
