#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
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
// Work still pending when the scheduler goes away never runs. The work may
// hold the last reference to its own scheduler: destroyed on its own
// thread, the scheduler leaves that thread to end by itself instead of
// waiting for it.
class ThreadDelayScheduler final : public DelayScheduler {
public:
    ThreadDelayScheduler();
    ~ThreadDelayScheduler() override;
    ThreadDelayScheduler(const ThreadDelayScheduler &) = delete;
    ThreadDelayScheduler &operator=(const ThreadDelayScheduler &) = delete;

    Ticket schedule(double seconds, std::function<void()> work) override;
    void cancel(Ticket ticket) override;

private:
    // What the thread uses, kept alive by the thread itself.
    struct Shared;

    static void run(Shared &shared);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace tovalit
