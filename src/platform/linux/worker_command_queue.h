#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

namespace tovalit {

// Commands for a worker thread that sleeps in poll() on descriptors of its
// own: a command is queued and the queue's descriptor wakes the worker,
// which runs what is due in order. The callers, on any thread, wait for a
// command's answer for a limited time only, and what a caller was told
// did not happen does not happen later: a command given up on before the
// worker reached it never runs, and one given up on while it ran is taken
// back at once by its `undo`.
class WorkerCommandQueue {
public:
    struct Command;

    // A queued command, as its caller sees it.
    class Pending {
    public:
        // What the command answered; false when the queue stopped before
        // it ran, or when it has not answered within `limit`: the command
        // is then given up on.
        bool answerWithin(std::chrono::milliseconds limit);

    private:
        friend class WorkerCommandQueue;
        std::shared_ptr<Command> m_command;
        std::future<bool> m_answer;
    };

    WorkerCommandQueue();
    ~WorkerCommandQueue();
    WorkerCommandQueue(const WorkerCommandQueue &) = delete;
    WorkerCommandQueue &operator=(const WorkerCommandQueue &) = delete;

    // False when the wake-up descriptor could not be made.
    bool isValid() const { return m_wake >= 0; }
    // Readable while commands are due; the worker polls it.
    int wakeDescriptor() const { return m_wake; }

    // Queues `work` for the worker. `undo` runs on the worker right after
    // a `work` that answered true when its caller had given up meanwhile.
    // A command whose caller never asks for its answer runs in its turn.
    Pending post(std::function<bool()> work, std::function<void()> undo = {});
    // The worker's side: runs every command due, in the order they were
    // posted. False once the queue is stopped; the worker then ends.
    bool runDue();
    // Whatever is still queued never runs; wakes the worker to end.
    void stop();

private:
    int m_wake = -1;
    std::mutex m_mutex;
    std::deque<std::shared_ptr<Command>> m_commands;
    bool m_stopping = false;
};

} // namespace tovalit
