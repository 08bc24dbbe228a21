#pragma once

#include <coroutine>

namespace tovalit {

// Coroutines given up on for good, when what they would return to is gone
// (an owner that went while they waited on a thread that may never
// answer). They are never resumed, and never destroyed either: destroying
// a suspended frame runs the destructors of what it holds, for owners
// that are gone too. They stay here, reachable, until the process ends.
void parkForever(std::coroutine_handle<> coroutine);
// How many are parked. Each holds up the task it belongs to for good:
// whoever waits for detached tasks to end need not wait for those.
int parkedCoroutineCount();

// `co_await ParkedForever()` suspends the calling coroutine for good.
struct ParkedForever {
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> coroutine) const { parkForever(coroutine); }
    void await_resume() const noexcept {}
};

} // namespace tovalit
