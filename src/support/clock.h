#pragma once

#include <QDateTime>

#include <functional>

namespace tovalit {

// The current wall-clock time. Injected wherever a decision depends on
// "now", so tests can fix it.
using Clock = std::function<QDateTime()>;

Clock systemClock();

// Seconds from a fixed point that never jumps with wall-clock changes; for
// measuring durations.
using MonotonicClock = std::function<double()>;

MonotonicClock systemMonotonicClock();

} // namespace tovalit
