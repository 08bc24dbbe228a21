#pragma once

#include "support/cancel_token.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

class QObject;

namespace tovalit {

// A kept, cancellable task: the handle the owner cancels before replacing
// it. An empty handle is idle.
class TaskHandle {
public:
    TaskHandle() = default;

    void cancel() const;
    // True from spawning until the work has finished or failed.
    bool isRunning() const;
    bool isEmpty() const { return !m_state; }
    CancelToken token() const;

    struct State;

private:
    friend TaskHandle spawnCancellable(QObject *, std::function<QCoro::Task<void>(CancelToken)>,
                                       QString);
    explicit TaskHandle(std::shared_ptr<State> state);
    std::shared_ptr<State> m_state;
};

// Starts `work` as a detached coroutine on `context`'s thread once control
// returns to its event loop (never inline: the caller's statement finishes
// first). Not started at all when `context` is destroyed before then. An
// exception that escapes the work is logged under `what`, never lost.
void spawn(QObject *context, std::function<QCoro::Task<void>()> work, QString what = {});

// How many tasks of spawn() and spawnCancellable() are queued or running.
// Whoever ends the event loop for good can let them finish first.
int detachedTasksInFlight();

// After the event loop has ended for good: delivers the events already
// posted to this thread for as long as that lets detached tasks end (a
// cancelled wait wakes through one). Never waits for anything else.
void settleDetachedTasks();

// As spawn(), for work that checks the token after every suspension. The
// token is also cancelled when `context` is destroyed.
[[nodiscard]] TaskHandle spawnCancellable(QObject *context,
                                          std::function<QCoro::Task<void>(CancelToken)> work,
                                          QString what = {});

} // namespace tovalit
