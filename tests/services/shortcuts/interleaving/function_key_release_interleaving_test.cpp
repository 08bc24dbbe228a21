// The press logic of the Fn key where two threads meet: the release on the
// tap's thread and the delayed check on the scheduler's. The check is made
// to run at the one place the release lets go of the state while deciding
// it: the next unlock on the tap's thread once the release's time has been
// read. Its own executable, since it stands in for the C library's mutex
// unlock for the whole process.

#include "platform/fake/fake_function_key_source.h"
#include "platform/virtual_key_code.h"
#include "services/shortcuts/function_key_event_tap_host.h"
#include "services/shortcuts/function_key_event_tap_strategy.h"
#include "tests/services/shortcuts/shortcut_test_support.h"

#include <atomic>
#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>
#include <pthread.h>
#include <utility>

namespace {

// Runs once, on this thread, right after its next mutex unlock.
thread_local std::function<void()> *afterNextUnlock = nullptr;

} // namespace

#if !defined(__SANITIZE_THREAD__)
// Every unlock of the process comes through here and goes on to the C
// library's own. No static local: its guard would unlock a mutex itself.
extern "C" int pthread_mutex_unlock(pthread_mutex_t *mutex) {
    using Unlock = int (*)(pthread_mutex_t *);
    static std::atomic<Unlock> real = nullptr;
    Unlock unlock = real.load();
    if (!unlock) {
        unlock = reinterpret_cast<Unlock>(dlsym(RTLD_NEXT, "pthread_mutex_unlock"));
        real = unlock;
    }
    const int result = unlock(mutex);
    if (afterNextUnlock)
        (*std::exchange(afterNextUnlock, nullptr))();
    return result;
}
#endif

namespace tovalit {
namespace {

constexpr quint16 fn = VirtualKeyCode::function;

TEST(FunctionKeyReleaseInterleaving, AReleaseMetByTheDelayedCheckFiresExactlyOnce) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread sanitizer keeps the mutex functions for itself";
#endif
    auto source = std::make_shared<FakeFunctionKeySource>();
    auto scheduler = std::make_shared<testing::ManualDelayScheduler>();
    // The release below carries no time, so the tap reads this clock just
    // before it takes the state; from there the check waits for the next
    // unlock.
    std::function<void()> runTheCheck = [&scheduler] { scheduler->runAll(); };
    bool armed = false;
    std::atomic<double> now = 0;
    const MonotonicClock uptime = [&] {
        if (std::exchange(armed, false))
            afterNextUnlock = &runTheCheck;
        return now.load();
    };
    std::atomic<int> triggers = 0;
    FunctionKeyEventTapHost host(
        FunctionKeyEventTapStrategy::configuration(), [&triggers] { ++triggers; }, source,
        scheduler, uptime);
    ASSERT_EQ(host.start(), FunctionKeyTapStart::started);

    source->functionDown(10.00);
    ASSERT_EQ(scheduler->pendingCount(), 1);
    // Released as the 80 ms pass: the release and the delayed check meet.
    now = 10.08;
    armed = true;
    source->send({KeyboardTapEvent::Type::flagsChanged, fn, 0, 0});
    EXPECT_EQ(afterNextUnlock, nullptr) << "the check ran";
    EXPECT_EQ(scheduler->pendingCount(), 0);
    EXPECT_EQ(triggers, 1) << "declined by both the release and the check";
    EXPECT_FALSE(host.isFunctionPressed());
}

} // namespace
} // namespace tovalit
