#include "platform/linux/worker_command_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace tovalit {

WorkerCommandQueue::WorkerCommandQueue()
    : m_wake(eventfd(0, EFD_CLOEXEC)) {}

WorkerCommandQueue::~WorkerCommandQueue() {
    if (m_wake >= 0)
        ::close(m_wake);
}

bool WorkerCommandQueue::Pending::answerWithin(std::chrono::milliseconds limit) {
    return m_answer.valid() && m_answer.wait_for(limit) == std::future_status::ready &&
           m_answer.get();
}

WorkerCommandQueue::Pending WorkerCommandQueue::post(std::function<bool()> work) {
    auto task = std::make_shared<std::packaged_task<bool()>>(std::move(work));
    Pending pending;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return pending;
        pending.m_answer = task->get_future();
        m_commands.push_back([task] { (*task)(); });
    }
    const uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(m_wake, &one, sizeof one);
    return pending;
}

bool WorkerCommandQueue::runDue() {
    uint64_t count = 0;
    [[maybe_unused]] const auto ignored = ::read(m_wake, &count, sizeof count);
    std::deque<std::function<void()>> due;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return false;
        due.swap(m_commands);
    }
    for (const auto &command : due)
        command();
    return true;
}

void WorkerCommandQueue::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    const uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(m_wake, &one, sizeof one);
}

} // namespace tovalit
