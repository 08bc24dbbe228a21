#include "services/shortcuts/delay_scheduler.h"

#include <algorithm>

namespace tovalit {

ThreadDelayScheduler::ThreadDelayScheduler()
    : m_thread([this] { run(); }) {}

ThreadDelayScheduler::~ThreadDelayScheduler() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_entries.clear();
    }
    m_wake.notify_all();
    m_thread.join();
}

DelayScheduler::Ticket ThreadDelayScheduler::schedule(double seconds, std::function<void()> work) {
    const auto delay = std::chrono::duration<double>(std::max(seconds, 0.0));
    Ticket ticket = 0;
    {
        std::lock_guard lock(m_mutex);
        ticket = m_nextTicket++;
        m_entries.emplace(ticket,
                          Entry{std::chrono::steady_clock::now() +
                                    std::chrono::duration_cast<std::chrono::nanoseconds>(delay),
                                std::move(work)});
    }
    m_wake.notify_all();
    return ticket;
}

void ThreadDelayScheduler::cancel(Ticket ticket) {
    std::lock_guard lock(m_mutex);
    m_entries.erase(ticket);
}

void ThreadDelayScheduler::run() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_entries.empty()) {
            m_wake.wait(lock);
            continue;
        }
        const auto next =
            std::min_element(m_entries.begin(), m_entries.end(), [](const auto &a, const auto &b) {
                return a.second.deadline < b.second.deadline;
            });
        // A copy: the entry may be cancelled, or the scheduler cleared,
        // while the thread waits, and the wait reads its time on waking.
        const TimePoint deadline = next->second.deadline;
        if (std::chrono::steady_clock::now() < deadline) {
            m_wake.wait_until(lock, deadline);
            continue;
        }
        std::function<void()> work = std::move(next->second.work);
        m_entries.erase(next);
        lock.unlock();
        work();
        lock.lock();
    }
}

} // namespace tovalit
