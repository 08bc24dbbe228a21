#include "platform/linux/worker_command_queue.h"

#include <atomic>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tovalit {

struct WorkerCommandQueue::Command {
    enum class Stage { queued, running, answered, givenUp };

    std::function<bool()> work;
    std::function<void()> undo;
    std::promise<bool> answer;
    std::atomic<Stage> stage = Stage::queued;

    void run() {
        Stage expected = Stage::queued;
        if (!stage.compare_exchange_strong(expected, Stage::running))
            return;
        const bool done = work();
        expected = Stage::running;
        if (stage.compare_exchange_strong(expected, Stage::answered))
            answer.set_value(done);
        else if (done && undo)
            undo();
    }
};

WorkerCommandQueue::WorkerCommandQueue()
    : m_wake(eventfd(0, EFD_CLOEXEC)) {}

WorkerCommandQueue::~WorkerCommandQueue() {
    if (m_wake >= 0)
        ::close(m_wake);
}

bool WorkerCommandQueue::Pending::answerWithin(std::chrono::milliseconds limit) {
    if (!m_command)
        return false;
    if (m_answer.wait_for(limit) != std::future_status::ready &&
        m_command->stage.exchange(Command::Stage::givenUp) != Command::Stage::answered) {
        return false;
    }
    try {
        return m_answer.get();
    } catch (const std::future_error &) {
        // Dropped unrun when the queue stopped.
        return false;
    }
}

WorkerCommandQueue::Pending WorkerCommandQueue::post(std::function<bool()> work,
                                                     std::function<void()> undo) {
    auto command = std::make_shared<Command>();
    command->work = std::move(work);
    command->undo = std::move(undo);
    Pending pending;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return pending;
        pending.m_command = command;
        pending.m_answer = command->answer.get_future();
        m_commands.push_back(std::move(command));
    }
    const uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(m_wake, &one, sizeof one);
    return pending;
}

bool WorkerCommandQueue::runDue() {
    uint64_t count = 0;
    [[maybe_unused]] const auto ignored = ::read(m_wake, &count, sizeof count);
    std::deque<std::shared_ptr<Command>> due;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return false;
        due.swap(m_commands);
    }
    for (const auto &command : due)
        command->run();
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
