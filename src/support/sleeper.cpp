#include "support/sleeper.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <coroutine>
#include <memory>
#include <mutex>

namespace tovalit {

namespace {

// Resumes the sleeping coroutine exactly once, whichever of the timer and
// the cancellation comes first.
struct Wake {
    std::mutex mutex;
    std::coroutine_handle<> handle;
    bool resumed = false;

    void resumeOnce() {
        std::coroutine_handle<> toResume;
        {
            std::lock_guard lock(mutex);
            if (resumed || !handle)
                return;
            resumed = true;
            toResume = handle;
        }
        toResume.resume();
    }
};

class SleepAwaiter {
public:
    SleepAwaiter(std::chrono::milliseconds duration, CancelToken token)
        : m_duration(duration)
        , m_token(std::move(token)) {}

    bool await_ready() const { return m_duration.count() <= 0 || m_token.isCancelled(); }

    void await_suspend(std::coroutine_handle<> handle) {
        m_wake->handle = handle;
        // The context ties the timer and the cancellation post to this
        // thread. The cancel callback keeps it alive (it may run on another
        // thread while this awaiter goes away); deleteLater is safe from any
        // thread.
        m_context =
            std::shared_ptr<QObject>(new QObject, [](QObject *object) { object->deleteLater(); });
        auto wake = m_wake;
        QTimer::singleShot(m_duration, Qt::PreciseTimer, m_context.get(),
                           [wake] { wake->resumeOnce(); });
        auto context = m_context;
        m_subscription = m_token.onCancel([wake, context] {
            QMetaObject::invokeMethod(
                context.get(), [wake] { wake->resumeOnce(); }, Qt::QueuedConnection);
        });
    }

    void await_resume() const noexcept {}

private:
    std::chrono::milliseconds m_duration;
    CancelToken m_token;
    std::shared_ptr<Wake> m_wake = std::make_shared<Wake>();
    std::shared_ptr<QObject> m_context;
    CancelSubscription m_subscription;
};

} // namespace

QCoro::Task<void> sleepFor(double seconds, CancelToken token) {
    // NaN waits not at all; an endless wait is capped at about 23 days.
    const double milliseconds =
        std::isnan(seconds) ? 0.0 : std::clamp(seconds * 1000.0, 0.0, 2.0e9);
    co_await SleepAwaiter(std::chrono::milliseconds(std::llround(milliseconds)), std::move(token));
}

Sleeper systemSleeper() {
    return [](double seconds, CancelToken token) { return sleepFor(seconds, std::move(token)); };
}

} // namespace tovalit
