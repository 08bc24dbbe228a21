#pragma once

#include "services/shortcuts/delay_scheduler.h"
#include "support/clock.h"
#include "support/sleeper.h"

#include <QList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace tovalit::testing {

// Holds scheduled work until the test runs it. `lateCancellation` models
// the race where work was already taken off the queue when it is
// cancelled: cancel() then leaves it in place.
class ManualDelayScheduler final : public DelayScheduler {
public:
    bool lateCancellation = false;

    Ticket schedule(double seconds, std::function<void()> work) override {
        std::lock_guard lock(m_mutex);
        const Ticket ticket = m_next++;
        m_pending.emplace(ticket, Entry{seconds, std::move(work)});
        return ticket;
    }
    void cancel(Ticket ticket) override {
        std::lock_guard lock(m_mutex);
        if (!lateCancellation)
            m_pending.erase(ticket);
    }
    int pendingCount() const {
        std::lock_guard lock(m_mutex);
        return int(m_pending.size());
    }
    // The delay of the oldest pending work.
    double firstDelay() const {
        std::lock_guard lock(m_mutex);
        return m_pending.empty() ? -1 : m_pending.begin()->second.seconds;
    }
    // Runs every pending work, oldest first; how many ran.
    int runAll() {
        std::map<Ticket, Entry> due;
        {
            std::lock_guard lock(m_mutex);
            due.swap(m_pending);
        }
        for (auto &[ticket, entry] : due)
            entry.work();
        return int(due.size());
    }

private:
    struct Entry {
        double seconds = 0;
        std::function<void()> work;
    };
    mutable std::mutex m_mutex;
    std::map<Ticket, Entry> m_pending;
    Ticket m_next = 1;
};

// A clock the test sets.
class ManualClock {
public:
    void set(double seconds) { m_now = seconds; }
    MonotonicClock clock() {
        return [this] { return m_now.load(); };
    }

private:
    std::atomic<double> m_now = 0;
};

// Sleeps that finish at once and are written down; a hook sees the total
// slept so far after each one (to change the world at a given time).
class SleepLog {
public:
    QList<double> durations() const {
        std::lock_guard lock(m_mutex);
        return m_durations;
    }
    double total() const {
        std::lock_guard lock(m_mutex);
        double sum = 0;
        for (double duration : m_durations)
            sum += duration;
        return sum;
    }
    void setOnSleep(std::function<void(double total)> hook) { m_onSleep = std::move(hook); }
    void record(double seconds) {
        {
            std::lock_guard lock(m_mutex);
            m_durations.append(seconds);
        }
        if (m_onSleep)
            m_onSleep(total());
    }

private:
    mutable std::mutex m_mutex;
    QList<double> m_durations;
    std::function<void(double)> m_onSleep;
};

inline QCoro::Task<void> recordedSleep(std::shared_ptr<SleepLog> log, double seconds) {
    log->record(seconds);
    co_return;
}

inline Sleeper recordingSleeper(std::shared_ptr<SleepLog> log) {
    return [log](double seconds, CancelToken) { return recordedSleep(log, seconds); };
}

} // namespace tovalit::testing
