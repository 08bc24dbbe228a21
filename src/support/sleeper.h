#pragma once

#include "support/cancel_token.h"

#include <qcoro/qcorotask.h>

#include <functional>

namespace tovalit {

// Waits `seconds` on the current thread's event loop, or less: it returns
// as soon as `token` is cancelled (at once when it already is). The caller
// checks the token afterwards to tell the two apart.
QCoro::Task<void> sleepFor(double seconds, CancelToken token);

// The injectable form every timed wait goes through, so tests never really
// wait.
using Sleeper = std::function<QCoro::Task<void>(double seconds, CancelToken token)>;

Sleeper systemSleeper();

} // namespace tovalit
