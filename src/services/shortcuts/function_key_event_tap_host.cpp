#include "services/shortcuts/function_key_event_tap_host.h"

#include "platform/virtual_key_code.h"
#include "services/shortcuts/function_key_event_tap_strategy.h"
#include "services/shortcuts/hotkey_modifier_interpreter.h"

#include <mutex>

namespace tovalit {

// Shared with the tap's handler and the delayed trigger, which hold it
// weakly: either may still be on its way when the host goes away.
struct FunctionKeyEventTapHost::State : std::enable_shared_from_this<State> {
    struct PendingTrigger {
        DelayScheduler::Ticket ticket = 0;
        quint64 generation = 0;
    };

    TriggerHandler onTrigger;
    std::shared_ptr<FunctionKeySource> source;
    std::shared_ptr<DelayScheduler> scheduler;
    MonotonicClock uptime;

    mutable std::mutex stateLock; // guards everything below
    FunctionKeyPressTracker functionKeyTracker;
    std::optional<PendingTrigger> pendingFunctionTriggerTask;
    // The release before the press in progress, which a trigger at that
    // press's own release is measured from.
    std::optional<double> releaseBeforePress;
    quint64 nextGeneration = 1;
    bool isFunctionChordDetected = false;
    bool isTapRunning = false;

    FunctionKeyEventDisposition handleEventTap(const KeyboardTapEvent &event);
    // The two below are called with the lock held.
    void schedulePendingFunctionTrigger();
    bool flushPendingFunctionTriggerIfNeeded(double time);
    void cancelPendingTrigger();
    void runPendingTrigger(quint64 generation);
};

FunctionKeyEventTapHost::FunctionKeyEventTapHost(FunctionKeyEventTapConfiguration tapConfiguration,
                                                 TriggerHandler onTrigger,
                                                 std::shared_ptr<FunctionKeySource> source,
                                                 std::shared_ptr<DelayScheduler> scheduler,
                                                 MonotonicClock uptime)
    : m_tapConfiguration(tapConfiguration)
    , m_source(std::move(source))
    , m_state(std::make_shared<State>()) {
    m_state->onTrigger = std::move(onTrigger);
    m_state->source = m_source;
    m_state->scheduler = std::move(scheduler);
    m_state->uptime = std::move(uptime);
}

FunctionKeyEventTapHost::~FunctionKeyEventTapHost() {
    stop();
}

FunctionKeyTapStart FunctionKeyEventTapHost::start() {
    stop();
    {
        std::lock_guard lock(m_state->stateLock);
        m_state->functionKeyTracker = FunctionKeyPressTracker{};
        m_state->releaseBeforePress.reset();
        m_state->cancelPendingTrigger();
        m_state->isFunctionChordDetected = false;
    }
    std::weak_ptr<State> weakState = m_state;
    const FunctionKeyTapStart started =
        m_source->start(m_tapConfiguration, [weakState](const KeyboardTapEvent &event) {
            if (auto state = weakState.lock())
                return state->handleEventTap(event);
            return FunctionKeyEventDisposition::passThrough;
        });
    if (started != FunctionKeyTapStart::started)
        return started;
    std::lock_guard lock(m_state->stateLock);
    m_state->isTapRunning = true;
    return started;
}

void FunctionKeyEventTapHost::stop() {
    bool wasRunning = false;
    {
        std::lock_guard lock(m_state->stateLock);
        wasRunning = std::exchange(m_state->isTapRunning, false);
        m_state->cancelPendingTrigger();
        m_state->isFunctionChordDetected = false;
        m_state->functionKeyTracker = FunctionKeyPressTracker{};
        m_state->releaseBeforePress.reset();
    }
    // Outside the lock: stopping waits for a handler that may want it.
    if (wasRunning)
        m_source->stop();
}

bool FunctionKeyEventTapHost::isFunctionPressed() const {
    std::lock_guard lock(m_state->stateLock);
    return m_state->functionKeyTracker.isFunctionPressed;
}

FunctionKeyEventDisposition
FunctionKeyEventTapHost::State::handleEventTap(const KeyboardTapEvent &event) {
    switch (event.type) {
    case KeyboardTapEvent::Type::tapDisabledByTimeout:
    case KeyboardTapEvent::Type::tapDisabledByUserInput: {
        bool running = false;
        {
            std::lock_guard lock(stateLock);
            running = isTapRunning;
        }
        if (running)
            source->enable();
        return FunctionKeyEventDisposition::passThrough;
    }
    case KeyboardTapEvent::Type::keyDown: {
        std::lock_guard lock(stateLock);
        if (functionKeyTracker.isFunctionPressed &&
            !HotkeyModifierInterpreter::isFunctionKeyEvent(event.keyCode)) {
            isFunctionChordDetected = true;
            cancelPendingTrigger();
        }
        // The chord's key still reaches the application.
        return FunctionKeyEventDisposition::passThrough;
    }
    case KeyboardTapEvent::Type::flagsChanged: {
        const double time = event.timestamp != 0 ? double(event.timestamp) / 1e9 : uptime();
        FunctionKeyEventHandling handling = FunctionKeyEventHandling::ignore;
        bool fire = false;
        {
            // Evaluated and decided in one section: a delayed check due at
            // the same moment finds the press either still held or already
            // decided at its release, never released but undecided (where
            // both would decline and the press fire nothing).
            std::lock_guard lock(stateLock);
            handling = functionKeyTracker.evaluate(
                event.keyCode, (event.flags & ModifierFlag::function) != 0, time);
            if (handling == FunctionKeyEventHandling::began) {
                releaseBeforePress = functionKeyTracker.lastReleaseTimestamp;
                schedulePendingFunctionTrigger();
            } else if (handling == FunctionKeyEventHandling::ended) {
                fire = flushPendingFunctionTriggerIfNeeded(time);
            }
        }
        if (fire && onTrigger)
            onTrigger();
        return FunctionKeyEventTapStrategy::disposition(event.type, event.keyCode, handling);
    }
    case KeyboardTapEvent::Type::keyUp:
        break;
    }
    return FunctionKeyEventDisposition::passThrough;
}

void FunctionKeyEventTapHost::State::schedulePendingFunctionTrigger() {
    isFunctionChordDetected = false;
    cancelPendingTrigger();
    const quint64 generation = nextGeneration++;
    std::weak_ptr<State> weakState = weak_from_this();
    const DelayScheduler::Ticket ticket =
        scheduler->schedule(functionTriggerDelay, [weakState, generation] {
            if (auto state = weakState.lock())
                state->runPendingTrigger(generation);
        });
    pendingFunctionTriggerTask = PendingTrigger{ticket, generation};
}

void FunctionKeyEventTapHost::State::runPendingTrigger(quint64 generation) {
    const double time = uptime();
    bool fire = false;
    {
        std::lock_guard lock(stateLock);
        // Cancelled (or replaced by a newer press) after it was due.
        if (!pendingFunctionTriggerTask || pendingFunctionTriggerTask->generation != generation)
            return;
        pendingFunctionTriggerTask.reset();
        fire = functionKeyTracker.isFunctionPressed && !isFunctionChordDetected &&
               functionKeyTracker.canTrigger(time);
    }
    if (fire && onTrigger)
        onTrigger();
}

bool FunctionKeyEventTapHost::State::flushPendingFunctionTriggerIfNeeded(double time) {
    bool fire = false;
    if (pendingFunctionTriggerTask) {
        fire = !isFunctionChordDetected &&
               functionKeyTracker.canTriggerOnRelease(time, releaseBeforePress);
        cancelPendingTrigger();
    }
    isFunctionChordDetected = false;
    return fire;
}

void FunctionKeyEventTapHost::State::cancelPendingTrigger() {
    if (auto pending = std::exchange(pendingFunctionTriggerTask, std::nullopt))
        scheduler->cancel(pending->ticket);
}

} // namespace tovalit
