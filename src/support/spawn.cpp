#include "support/spawn.h"

#include "support/app_error.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMetaObject>

#include <atomic>

Q_LOGGING_CATEGORY(lcTasks, "tovalit.tasks")

namespace tovalit {

struct TaskHandle::State {
    CancelToken token;
    std::atomic<bool> running{true};
    // Cancels the task when its context goes; let go when the task ends.
    QMetaObject::Connection ownerGone;
};

TaskHandle::TaskHandle(std::shared_ptr<State> state)
    : m_state(std::move(state)) {}

void TaskHandle::cancel() const {
    if (m_state)
        m_state->token.cancel();
}

bool TaskHandle::isRunning() const {
    return m_state && m_state->running.load();
}

CancelToken TaskHandle::token() const {
    return m_state ? m_state->token : CancelToken();
}

namespace {

std::atomic<int> inFlight{0};

// Counts a detached task from the moment it is queued until its coroutine
// ends, or until its start is dropped with its context.
struct InFlightMark {
    InFlightMark() { ++inFlight; }
    ~InFlightMark() { --inFlight; }
    InFlightMark(const InFlightMark &) = delete;
    InFlightMark &operator=(const InFlightMark &) = delete;
};

// `work` is a parameter, so it lives in this frame for as long as the
// coroutine it creates runs: a capturing lambda coroutine stays valid.
QCoro::Task<void> runDetached(std::function<QCoro::Task<void>()> work, QString what,
                              std::shared_ptr<TaskHandle::State> state,
                              std::shared_ptr<InFlightMark> mark) {
    try {
        co_await work();
    } catch (const std::exception &error) {
        qCWarning(lcTasks).noquote() << "task" << what << "failed:" << describeException(error);
    } catch (...) {
        qCWarning(lcTasks).noquote() << "task" << what << "failed with an unknown exception";
    }
    if (state) {
        QObject::disconnect(state->ownerGone);
        state->running = false;
    }
    mark.reset();
}

// Marks a kept task finished when its start is dropped because the context
// object died first.
struct PendingStart {
    std::shared_ptr<TaskHandle::State> state;
    bool started = false;
    ~PendingStart() {
        if (!started && state)
            state->running = false;
    }
};

void post(QObject *context, std::function<QCoro::Task<void>()> work, QString what,
          std::shared_ptr<TaskHandle::State> state) {
    QObject *target = context ? context : QCoreApplication::instance();
    Q_ASSERT_X(target, "spawn", "needs a context object or an application");
    auto pending = std::make_shared<PendingStart>();
    pending->state = std::move(state);
    QMetaObject::invokeMethod(
        target,
        [work = std::move(work), what = std::move(what), pending,
         mark = std::make_shared<InFlightMark>()]() mutable {
            pending->started = true;
            runDetached(std::move(work), std::move(what), pending->state, std::move(mark));
        },
        Qt::QueuedConnection);
}

} // namespace

int detachedTasksInFlight() {
    return inFlight.load();
}

void settleDetachedTasks() {
    for (int before = inFlight.load(); before > 0; before = inFlight.load()) {
        QCoreApplication::sendPostedEvents();
        if (inFlight.load() == before)
            return;
    }
}

void spawn(QObject *context, std::function<QCoro::Task<void>()> work, QString what) {
    post(context, std::move(work), std::move(what), nullptr);
}

TaskHandle spawnCancellable(QObject *context, std::function<QCoro::Task<void>(CancelToken)> work,
                            QString what) {
    auto state = std::make_shared<TaskHandle::State>();
    CancelToken token = state->token;
    // An owner that goes (the application quitting) can no longer cancel
    // its task, and a wait the task is in might never end: it is cancelled
    // now, so the wait ends and the work after it finds it should stop.
    if (context)
        state->ownerGone =
            QObject::connect(context, &QObject::destroyed, [token] { token.cancel(); });
    post(
        context, [work = std::move(work), token]() { return work(token); }, std::move(what), state);
    return TaskHandle(state);
}

} // namespace tovalit
