#pragma once

#include <coroutine>
#include <functional>

namespace tovalit {

bool isGuiThread();

// Queues `function` to run on the GUI thread's event loop, from any thread.
void postToGuiThread(std::function<void()> function);

// `co_await resumeOnGuiThread();` continues the coroutine on the GUI thread
// (at once when it is already there).
class GuiThreadAwaiter {
public:
    bool await_ready() const { return isGuiThread(); }
    void await_suspend(std::coroutine_handle<> handle) const;
    void await_resume() const noexcept {}
};

inline GuiThreadAwaiter resumeOnGuiThread() {
    return {};
}

} // namespace tovalit
