#pragma once

#include "platform/function_key_source.h"
#include "services/shortcuts/delay_scheduler.h"
#include "services/shortcuts/function_key_press_tracker.h"
#include "support/clock.h"

#include <functional>
#include <memory>

namespace tovalit {

// The running tap of the bare Fn key and its press logic: a press fires
// 80 ms after it began if Fn is still held and no other key went down
// meanwhile (so Fn used as a modifier never fires); a shorter tap fires on
// its release, when the tracker's timing rule allows it; every flag change
// of the Fn key is dropped. State is shared by the tap's thread, the
// delayed trigger and the GUI thread (which starts, stops and polls it)
// under one lock, never held while the trigger runs.
class FunctionKeyEventTapHost {
public:
    // Called once per recognised press, on the tap's or the scheduler's
    // thread.
    using TriggerHandler = std::function<void()>;

    FunctionKeyEventTapHost(FunctionKeyEventTapConfiguration tapConfiguration,
                            TriggerHandler onTrigger, std::shared_ptr<FunctionKeySource> source,
                            std::shared_ptr<DelayScheduler> scheduler, MonotonicClock uptime);
    ~FunctionKeyEventTapHost();
    FunctionKeyEventTapHost(const FunctionKeyEventTapHost &) = delete;
    FunctionKeyEventTapHost &operator=(const FunctionKeyEventTapHost &) = delete;

    // Anything but started: no tap could be made, and nothing runs.
    FunctionKeyTapStart start();
    void stop();
    // Fn held, as the tap last saw it.
    bool isFunctionPressed() const;

    static constexpr double functionTriggerDelay = 0.08;

private:
    struct State;

    FunctionKeyEventTapConfiguration m_tapConfiguration;
    std::shared_ptr<FunctionKeySource> m_source;
    std::shared_ptr<State> m_state;
};

} // namespace tovalit
