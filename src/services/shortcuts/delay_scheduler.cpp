#include "services/shortcuts/delay_scheduler.h"

#include <algorithm>
#include <utility>

namespace tovalit {

struct ThreadDelayScheduler::Shared {
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Entry {
        TimePoint deadline;
        std::function<void()> work;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::map<Ticket, Entry> entries;
    Ticket nextTicket = 1;
    bool stopping = false;
};

ThreadDelayScheduler::ThreadDelayScheduler()
    : m_shared(std::make_shared<Shared>())
    , m_thread([shared = m_shared] { run(*shared); }) {}

ThreadDelayScheduler::~ThreadDelayScheduler() {
    std::map<Ticket, Shared::Entry> abandoned;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
        abandoned.swap(m_shared->entries);
    }
    m_shared->wake.notify_all();
    // Here the last reference went with a work that is still running on the
    // thread; it finds the scheduler stopping when that work returns.
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
    // The abandoned work goes last, outside the lock.
}

DelayScheduler::Ticket ThreadDelayScheduler::schedule(double seconds, std::function<void()> work) {
    const auto delay = std::chrono::duration<double>(std::max(seconds, 0.0));
    Ticket ticket = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        ticket = m_shared->nextTicket++;
        m_shared->entries.emplace(
            ticket, Shared::Entry{std::chrono::steady_clock::now() +
                                      std::chrono::duration_cast<std::chrono::nanoseconds>(delay),
                                  std::move(work)});
    }
    m_shared->wake.notify_all();
    return ticket;
}

void ThreadDelayScheduler::cancel(Ticket ticket) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->entries.erase(ticket);
}

void ThreadDelayScheduler::run(Shared &shared) {
    std::unique_lock lock(shared.mutex);
    while (!shared.stopping) {
        if (shared.entries.empty()) {
            shared.wake.wait(lock);
            continue;
        }
        const auto next = std::min_element(
            shared.entries.begin(), shared.entries.end(),
            [](const auto &a, const auto &b) { return a.second.deadline < b.second.deadline; });
        // A copy: the entry may be cancelled, or the scheduler cleared,
        // while the thread waits, and the wait reads its time on waking.
        const Shared::TimePoint deadline = next->second.deadline;
        if (std::chrono::steady_clock::now() < deadline) {
            shared.wake.wait_until(lock, deadline);
            continue;
        }
        std::function<void()> work = std::move(next->second.work);
        shared.entries.erase(next);
        lock.unlock();
        // The work, with whatever it holds, is gone before the lock is
        // taken again: letting go of it may destroy this scheduler.
        std::exchange(work, nullptr)();
        lock.lock();
    }
}

} // namespace tovalit
