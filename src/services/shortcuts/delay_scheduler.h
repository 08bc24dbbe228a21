#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace tovalit {

// Runs work after a delay, off the GUI thread.
class DelayScheduler {
public:
    using Ticket = quint64;

    virtual ~DelayScheduler() = default;

    // Runs `work` once `seconds` have passed (negative counts as 0), unless
    // cancelled first.
    virtual Ticket schedule(double seconds, std::function<void()> work) = 0;
    // Drops the work; harmless when it already ran or is running.
    virtual void cancel(Ticket ticket) = 0;
};

// One thread that sleeps until the next deadline. Work runs on that
// thread, outside the scheduler's lock, so it may schedule and cancel.
// Work still pending when the scheduler goes away never runs.
class ThreadDelayScheduler final : public DelayScheduler {
public:
    ThreadDelayScheduler();
    ~ThreadDelayScheduler() override;
    ThreadDelayScheduler(const ThreadDelayScheduler &) = delete;
    ThreadDelayScheduler &operator=(const ThreadDelayScheduler &) = delete;

    Ticket schedule(double seconds, std::function<void()> work) override;
    void cancel(Ticket ticket) override;

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Entry {
        TimePoint deadline;
        std::function<void()> work;
    };

    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<Ticket, Entry> m_entries;
    Ticket m_nextTicket = 1;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace tovalit
