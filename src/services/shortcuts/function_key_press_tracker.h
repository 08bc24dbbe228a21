#pragma once

#include <QtGlobal>

#include <optional>

namespace tovalit {

// What one flag change of the Fn key means for a press.
enum class FunctionKeyEventHandling { began, ended, ignore };

// Press state of the Fn key and the timing rule that keeps one press from
// triggering twice: after a release a new trigger waits at least
// `minimumTriggerInterval`, unless a trigger already came after that
// release. Times are seconds on the monotonic clock.
struct FunctionKeyPressTracker {
    double minimumTriggerInterval = 0.06;
    bool isFunctionPressed = false;
    std::optional<double> lastTriggerTimestamp;
    std::optional<double> lastReleaseTimestamp;

    // Key code 63 with the Fn flag set begins a press (once), with it clear
    // ends one (once); everything else is ignored.
    FunctionKeyEventHandling evaluate(quint16 keyCode, bool isFunctionPressed, double timestamp);
    // Whether a trigger at `time` is allowed; an allowed trigger is
    // recorded.
    bool canTrigger(double time);
    // The same for a trigger at the release that ends a press: `evaluate`
    // has already recorded that release, so the interval is measured from
    // the release before the press (`previousReleaseTimestamp`), as it is
    // for a trigger while the key is held.
    bool canTriggerOnRelease(double time, std::optional<double> previousReleaseTimestamp);

    bool operator==(const FunctionKeyPressTracker &) const = default;
};

} // namespace tovalit
