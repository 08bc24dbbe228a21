#include "platform/fake/fake_function_key_source.h"
#include "platform/virtual_key_code.h"
#include "services/shortcuts/function_key_event_tap_host.h"
#include "services/shortcuts/function_key_event_tap_strategy.h"
#include "services/shortcuts/function_key_press_tracker.h"
#include "tests/services/shortcuts/shortcut_test_support.h"

#include <QElapsedTimer>

#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Handling = FunctionKeyEventHandling;
using Disposition = FunctionKeyEventDisposition;
using testing::ManualClock;
using testing::ManualDelayScheduler;

constexpr quint16 fn = VirtualKeyCode::function;
constexpr quint16 kKey = 40;

TEST(FunctionKeyPressTracker, FlagChangesOfTheFnKeyBeginAndEndOnePress) {
    FunctionKeyPressTracker tracker;
    EXPECT_EQ(tracker.evaluate(fn, false, 1.0), Handling::ignore) << "up while up";
    EXPECT_EQ(tracker.evaluate(fn, true, 1.1), Handling::began);
    EXPECT_EQ(tracker.evaluate(fn, true, 1.2), Handling::ignore) << "set again while held";
    EXPECT_EQ(tracker.evaluate(VirtualKeyCode::shift, false, 1.25), Handling::ignore);
    EXPECT_TRUE(tracker.isFunctionPressed) << "another key's flag change leaves Fn alone";
    EXPECT_EQ(tracker.evaluate(fn, false, 1.3), Handling::ended);
    EXPECT_FALSE(tracker.isFunctionPressed);
    EXPECT_EQ(tracker.lastReleaseTimestamp, 1.3);
    EXPECT_EQ(tracker.lastTriggerTimestamp, std::nullopt) << "evaluating never triggers";
}

TEST(FunctionKeyPressTracker, TriggersWaitAfterAReleaseUnlessOneAlreadyFollowedIt) {
    FunctionKeyPressTracker fresh;
    EXPECT_TRUE(fresh.canTrigger(5.0)) << "no history";
    EXPECT_EQ(fresh.lastTriggerTimestamp, 5.0);

    // An earlier short tap fired at its release, 10.05. A press begun at
    // 11.90 and held past 80 ms fires at the delayed check.
    FunctionKeyPressTracker held;
    held.lastTriggerTimestamp = 10.05;
    held.lastReleaseTimestamp = 10.05;
    EXPECT_TRUE(held.canTrigger(11.98));
    EXPECT_EQ(held.lastTriggerTimestamp, 11.98);
    EXPECT_TRUE(held.canTrigger(11.981)) << "a trigger after the last release allows another";

    FunctionKeyPressTracker boundary;
    boundary.lastTriggerTimestamp = 1.0;
    boundary.lastReleaseTimestamp = 2.0;
    EXPECT_FALSE(boundary.canTrigger(2.0599));
    EXPECT_EQ(boundary.lastTriggerTimestamp, 1.0) << "a refused trigger is not recorded";
    EXPECT_TRUE(boundary.canTrigger(2.0625)) << "0.06 s after the release is enough";
}

TEST(FunctionKeyPressTracker, AReleaseTriggerIsMeasuredFromTheReleaseBeforeThePress) {
    // A second short tap released at 12.00, the first one's trigger and
    // release at 10.05: evaluating the release records 12.00, and measured
    // from that the tap could never fire; measured from 10.05 it does.
    FunctionKeyPressTracker tracker;
    tracker.lastTriggerTimestamp = 10.05;
    tracker.lastReleaseTimestamp = 10.05;
    const auto before = tracker.lastReleaseTimestamp;
    ASSERT_EQ(tracker.evaluate(fn, true, 11.99), Handling::began);
    ASSERT_EQ(tracker.evaluate(fn, false, 12.00), Handling::ended);
    EXPECT_EQ(tracker.lastReleaseTimestamp, 12.00);
    EXPECT_TRUE(tracker.canTriggerOnRelease(12.00, before));
    EXPECT_EQ(tracker.lastTriggerTimestamp, 12.00);

    // A bounce, 40 ms after that release, stays refused.
    const auto bounceBefore = tracker.lastReleaseTimestamp;
    tracker.evaluate(fn, true, 12.02);
    tracker.evaluate(fn, false, 12.04);
    EXPECT_FALSE(tracker.canTriggerOnRelease(12.04, bounceBefore));
}

TEST(FunctionKeyEventTapStrategy, DropsEveryFlagChangeOfFnAndNothingElse) {
    const auto configuration = FunctionKeyEventTapStrategy::configuration();
    EXPECT_EQ(configuration, (FunctionKeyEventTapConfiguration{
                                 EventTapLocation::hid, EventTapPlacement::headInsert,
                                 EventTapOptions::defaultTap, true, true}));
    using Type = KeyboardTapEvent::Type;
    for (Handling handling : {Handling::began, Handling::ended, Handling::ignore}) {
        EXPECT_EQ(FunctionKeyEventTapStrategy::disposition(Type::flagsChanged, fn, handling),
                  Disposition::suppress);
    }
    EXPECT_EQ(FunctionKeyEventTapStrategy::disposition(Type::flagsChanged, VirtualKeyCode::shift,
                                                       Handling::ignore),
              Disposition::passThrough);
    EXPECT_EQ(FunctionKeyEventTapStrategy::disposition(Type::keyDown, fn, Handling::ignore),
              Disposition::passThrough);
    const KeyboardTapEvent event{Type::keyDown, kKey, 0, 7};
    EXPECT_EQ(FunctionKeyEventTapStrategy::forwardedEvent(Disposition::passThrough, event), event);
    EXPECT_EQ(FunctionKeyEventTapStrategy::forwardedEvent(Disposition::suppress, event),
              std::nullopt);
}

class FunctionKeyEventTapHostTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host.start(), FunctionKeyTapStart::started); }

    std::shared_ptr<FakeFunctionKeySource> source = std::make_shared<FakeFunctionKeySource>();
    std::shared_ptr<ManualDelayScheduler> scheduler = std::make_shared<ManualDelayScheduler>();
    ManualClock uptime;
    std::atomic<int> triggers = 0;
    FunctionKeyEventTapHost host{FunctionKeyEventTapStrategy::configuration(),
                                 [this] { ++triggers; }, source, scheduler, uptime.clock()};
};

TEST_F(FunctionKeyEventTapHostTest, EveryShortTapFiresOnceAtItsRelease) {
    EXPECT_EQ(source->lastConfiguration(), FunctionKeyEventTapStrategy::configuration());
    EXPECT_EQ(source->functionDown(10.00), Disposition::suppress);
    EXPECT_TRUE(host.isFunctionPressed());
    EXPECT_EQ(scheduler->pendingCount(), 1);
    EXPECT_DOUBLE_EQ(scheduler->firstDelay(), 0.08);
    EXPECT_EQ(source->functionUp(10.05), Disposition::suppress);
    EXPECT_EQ(triggers, 1);
    EXPECT_FALSE(host.isFunctionPressed());
    EXPECT_EQ(scheduler->pendingCount(), 0) << "the delayed trigger is cancelled";

    // A bounce 20 ms after the release does not fire...
    source->functionDown(10.07);
    source->functionUp(10.09);
    EXPECT_EQ(triggers, 1);
    // ...but the next real tap does, and the one after it.
    source->functionDown(11.99);
    source->functionUp(12.00);
    EXPECT_EQ(triggers, 2);
    source->functionDown(13.00);
    source->functionUp(13.04);
    EXPECT_EQ(triggers, 3);
}

TEST_F(FunctionKeyEventTapHostTest, AHeldPressFiresOnceAfterTheDelayAndNotAgainOnRelease) {
    source->functionDown(1.00);
    uptime.set(1.08);
    EXPECT_EQ(scheduler->runAll(), 1);
    EXPECT_EQ(triggers, 1);
    source->functionUp(1.30);
    EXPECT_EQ(triggers, 1);
}

TEST_F(FunctionKeyEventTapHostTest, FnWithAnotherKeyIsAChordAndNeverFires) {
    source->functionDown(1.00);
    EXPECT_EQ(source->keyDown(kKey, 1.03), Disposition::passThrough)
        << "the chord's key reaches the application";
    EXPECT_EQ(scheduler->pendingCount(), 0);
    uptime.set(1.2);
    scheduler->runAll();
    EXPECT_EQ(source->functionUp(1.20), Disposition::suppress);
    EXPECT_EQ(triggers, 0);

    // A key after the delayed trigger already fired changes nothing.
    source->functionDown(3.00);
    uptime.set(3.08);
    scheduler->runAll();
    source->keyDown(kKey, 3.10);
    source->functionUp(3.20);
    EXPECT_EQ(triggers, 1);
}

TEST_F(FunctionKeyEventTapHostTest, OtherModifiersPassThroughAndDoNotBreakThePress) {
    source->functionDown(1.00);
    const KeyboardTapEvent shiftDown{KeyboardTapEvent::Type::flagsChanged, VirtualKeyCode::shift,
                                     ModifierFlag::function | ModifierFlag::shift, 1010000000};
    EXPECT_EQ(source->send(shiftDown), Disposition::passThrough);
    EXPECT_TRUE(host.isFunctionPressed());
    EXPECT_EQ(source->send({KeyboardTapEvent::Type::keyUp, kKey, 0, 0}), Disposition::passThrough);
    uptime.set(1.08);
    scheduler->runAll();
    EXPECT_EQ(triggers, 1);
}

TEST_F(FunctionKeyEventTapHostTest, ADelayedTriggerCancelledTooLateDoesNotFireTwice) {
    scheduler->lateCancellation = true;
    source->functionDown(1.00);
    source->functionUp(1.05);
    EXPECT_EQ(triggers, 1);
    // The work was already on its way when the release cancelled it.
    uptime.set(1.08);
    EXPECT_EQ(scheduler->runAll(), 1);
    EXPECT_EQ(triggers, 1);

    // Likewise a trigger from an earlier press may not fire for a newer one.
    source->functionDown(2.00);
    source->keyDown(kKey, 2.01);
    source->functionUp(2.02);
    source->functionDown(2.50);
    uptime.set(2.58);
    scheduler->runAll();
    EXPECT_EQ(triggers, 2) << "only the newest press's check fires";
}

TEST_F(FunctionKeyEventTapHostTest, ADisabledTapIsTurnedBackOnAndTheEventPassed) {
    EXPECT_EQ(source->send({KeyboardTapEvent::Type::tapDisabledByTimeout, 0, 0, 0}),
              Disposition::passThrough);
    EXPECT_EQ(source->send({KeyboardTapEvent::Type::tapDisabledByUserInput, 0, 0, 0}),
              Disposition::passThrough);
    EXPECT_EQ(source->enableCount(), 2);
}

TEST_F(FunctionKeyEventTapHostTest, EventsWithoutATimeAreTimedByTheUptimeClock) {
    const auto tap = [this](double down, double up) {
        uptime.set(down);
        source->send({KeyboardTapEvent::Type::flagsChanged, fn, ModifierFlag::function, 0});
        uptime.set(up);
        source->send({KeyboardTapEvent::Type::flagsChanged, fn, 0, 0});
    };
    tap(50.00, 50.03);
    EXPECT_EQ(triggers, 1);
    tap(50.05, 50.07);
    EXPECT_EQ(triggers, 1) << "0.04 s after the last release";
    tap(50.20, 50.21);
    EXPECT_EQ(triggers, 2);
}

TEST_F(FunctionKeyEventTapHostTest, StoppingForgetsThePressAndRestartingBeginsAfresh) {
    source->functionDown(1.00);
    host.stop();
    EXPECT_FALSE(source->isRunning());
    EXPECT_FALSE(host.isFunctionPressed());
    EXPECT_EQ(scheduler->pendingCount(), 0);
    EXPECT_EQ(source->functionUp(1.05), std::nullopt) << "nothing listens any more";

    ASSERT_EQ(host.start(), FunctionKeyTapStart::started);
    source->functionDown(1.06);
    source->functionUp(1.07);
    EXPECT_EQ(triggers, 1) << "no release remembered from before the restart";

    source->refuseStarts(true);
    EXPECT_EQ(host.start(), FunctionKeyTapStart::unavailable);
    EXPECT_FALSE(source->isRunning());
}

// A host that goes away (a monitor restart, the application quitting)
// while its delayed trigger is running: that trigger then holds the last
// reference to the host's state, and with it to the scheduler, and lets go
// of them on the scheduler's own thread. The uptime clock, which the
// trigger reads on that thread, keeps it there until the host is gone.
TEST(FunctionKeyEventTapHost, AHostGoneWhileItsDelayedTriggerRunsLeavesNothingBehind) {
    std::mutex mutex;
    std::condition_variable changed;
    bool triggerIsReadingTheClock = false;
    bool hostIsGone = false;
    bool stateIsGone = false;
    std::thread::id testThread = std::this_thread::get_id();
    const MonotonicClock heldClock = [&] {
        std::unique_lock lock(mutex);
        if (std::this_thread::get_id() != testThread) {
            triggerIsReadingTheClock = true;
            changed.notify_all();
            changed.wait(lock, [&] { return hostIsGone; });
        }
        return 2.0;
    };
    // Goes with the trigger handler, that is with the host's state.
    struct Witness {
        std::function<void()> onDestroyed;
        ~Witness() { onDestroyed(); }
    };
    auto witness = std::make_shared<Witness>();
    witness->onDestroyed = [&] {
        std::lock_guard lock(mutex);
        stateIsGone = true;
        changed.notify_all();
    };

    auto source = std::make_shared<FakeFunctionKeySource>();
    auto host = std::make_unique<FunctionKeyEventTapHost>(
        FunctionKeyEventTapStrategy::configuration(), [witness] {}, source,
        std::make_shared<ThreadDelayScheduler>(), heldClock);
    witness.reset();
    ASSERT_EQ(host->start(), FunctionKeyTapStart::started);
    source->functionDown(1.00);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] {
            return triggerIsReadingTheClock;
        })) << "the delayed trigger never ran";
    }
    host.reset();
    {
        std::unique_lock lock(mutex);
        hostIsGone = true;
        changed.notify_all();
        EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return stateIsGone; }))
            << "the trigger kept the host's state";
    }
}

TEST(ThreadDelayScheduler, RunsDueWorkOnItsThreadAndNeverCancelledOrAbandonedWork) {
    std::mutex mutex;
    std::condition_variable ran;
    QList<int> order;
    std::thread::id workThread;
    {
        ThreadDelayScheduler scheduler;
        const auto record = [&](int value) {
            return [&, value] {
                std::lock_guard lock(mutex);
                order.append(value);
                workThread = std::this_thread::get_id();
                ran.notify_all();
            };
        };
        scheduler.schedule(0.03, record(2));
        const auto cancelled = scheduler.schedule(0.01, record(99));
        scheduler.schedule(-1, record(1));
        scheduler.cancel(cancelled);
        scheduler.schedule(60, record(100));
        std::unique_lock lock(mutex);
        ASSERT_TRUE(ran.wait_for(lock, std::chrono::seconds(5), [&] { return order.size() == 2; }));
    }
    EXPECT_EQ(order, (QList<int>{1, 2})) << "by deadline; the cancelled and the far one never";
    EXPECT_NE(workThread, std::this_thread::get_id());
}

} // namespace
} // namespace tovalit
