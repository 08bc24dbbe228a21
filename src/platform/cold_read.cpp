#include "platform/cold_read.h"

#include "platform/accessibility_thread.h"

#include <atomic>
#include <optional>

namespace tovalit {

struct ColdReadDeadline::Moment {
    std::optional<std::chrono::steady_clock::time_point> end;
};

namespace {

std::atomic<ColdReadDeadline::Clock> testClock{nullptr};

std::chrono::steady_clock::time_point now() {
    const ColdReadDeadline::Clock clock = testClock.load(std::memory_order_acquire);
    return clock ? clock() : std::chrono::steady_clock::now();
}

} // namespace

// The moment of the job running on this thread; outside a job, the one the
// outermost deadline still standing made.
struct ThreadColdReadMoments {
    quint64 job = 0;
    std::shared_ptr<ColdReadDeadline::Moment> ofJob;
    std::weak_ptr<ColdReadDeadline::Moment> outside;
};

namespace {

thread_local ThreadColdReadMoments moments;

} // namespace

void ColdReadDeadline::useClock(Clock clock) {
    testClock.store(clock, std::memory_order_release);
}

ColdReadDeadline::ColdReadDeadline() {
    if (const quint64 job = AccessibilityThread::currentJob(); job != 0) {
        if (moments.job != job || !moments.ofJob) {
            moments.ofJob = std::make_shared<Moment>();
            moments.job = job;
        }
        m_moment = moments.ofJob;
        return;
    }
    m_moment = moments.outside.lock();
    if (!m_moment) {
        m_moment = std::make_shared<Moment>();
        moments.outside = m_moment;
    }
}

bool ColdReadDeadline::passed() {
    const auto at = now();
    if (!m_moment->end)
        m_moment->end = at + moment;
    return at >= *m_moment->end;
}

} // namespace tovalit
