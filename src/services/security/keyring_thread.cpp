#include "services/security/keyring_thread.h"

#include "support/gui_thread.h"
#include "support/parked_coroutine.h"

#include <condition_variable>
#include <deque>
#include <thread>
#include <utility>

namespace tovalit {

KeyringThread::Answer::Answer(std::shared_ptr<const std::atomic<bool>> abandoned)
    : m_abandoned(std::move(abandoned)) {}

bool KeyringThread::Answer::resolve(std::optional<QByteArray> value) {
    return settle(Outcome(std::in_place_index<1>, std::move(value)));
}

bool KeyringThread::Answer::fail(std::exception_ptr error) {
    return settle(Outcome(std::in_place_index<2>, std::move(error)));
}

bool KeyringThread::Answer::Awaiter::await_ready() const {
    const std::lock_guard lock(m_answer.m_mutex);
    return m_answer.m_outcome.index() != 0;
}

bool KeyringThread::Answer::Awaiter::await_suspend(std::coroutine_handle<> handle) {
    const std::lock_guard lock(m_answer.m_mutex);
    if (m_answer.m_outcome.index() != 0)
        return false;
    m_answer.m_waiter = handle;
    return true;
}

std::optional<QByteArray> KeyringThread::Answer::Awaiter::await_resume() {
    const std::lock_guard lock(m_answer.m_mutex);
    if (m_answer.m_outcome.index() == 2)
        std::rethrow_exception(std::get<2>(m_answer.m_outcome));
    return std::get<1>(m_answer.m_outcome);
}

bool KeyringThread::Answer::settle(Outcome outcome) {
    std::coroutine_handle<> waiter;
    {
        const std::lock_guard lock(m_mutex);
        if (m_outcome.index() != 0)
            return false;
        m_outcome = std::move(outcome);
        waiter = std::exchange(m_waiter, {});
    }
    if (!waiter)
        return true;
    if (*m_abandoned) {
        parkForever(waiter);
        return true;
    }
    // Abandonment happens on the GUI thread, so asking again there, just
    // before resuming, leaves no gap: an owner that went meanwhile is never
    // re-entered.
    postToGuiThread([waiter, abandoned = m_abandoned] {
        if (*abandoned)
            parkForever(waiter);
        else
            waiter.resume();
    });
    return true;
}

void KeyringThread::Answer::giveUp() {
    std::coroutine_handle<> waiter;
    {
        const std::lock_guard lock(m_mutex);
        waiter = std::exchange(m_waiter, {});
    }
    if (waiter)
        parkForever(waiter);
}

struct KeyringThread::Shared {
    struct Job {
        Work work;
        CancelToken token;
        std::shared_ptr<Answer> answer;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    std::optional<CancelToken> running;
    std::shared_ptr<std::atomic<bool>> abandoned = std::make_shared<std::atomic<bool>>(false);
};

KeyringThread::KeyringThread()
    : m_shared(std::make_shared<Shared>()) {
    // Detached from the start: nobody ever joins it. It holds what it
    // uses, and ends once abandoned and free.
    std::thread([shared = m_shared] { run(shared); }).detach();
}

KeyringThread::~KeyringThread() {
    abandon();
}

void KeyringThread::abandon() {
    std::deque<Shared::Job> dropped;
    std::optional<CancelToken> running;
    {
        const std::lock_guard lock(m_shared->mutex);
        *m_shared->abandoned = true;
        dropped.swap(m_shared->jobs);
        running = m_shared->running;
    }
    m_shared->wake.notify_all();
    if (running)
        running->cancel();
    for (const Shared::Job &job : dropped) {
        job.token.cancel();
        job.answer->giveUp();
    }
}

bool KeyringThread::isAbandoned() const {
    return *m_shared->abandoned;
}

std::shared_ptr<KeyringThread::Answer> KeyringThread::submit(Work work, CancelToken token) {
    auto answer = std::make_shared<Answer>(m_shared->abandoned);
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->jobs.push_back({std::move(work), std::move(token), answer});
    }
    m_shared->wake.notify_all();
    return answer;
}

void KeyringThread::run(const std::shared_ptr<Shared> &shared) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [&] { return *shared->abandoned || !shared->jobs.empty(); });
        if (*shared->abandoned)
            return;
        Shared::Job job = std::move(shared->jobs.front());
        shared->jobs.pop_front();
        shared->running = job.token;
        lock.unlock();
        try {
            job.answer->resolve(job.work(job.token));
        } catch (...) {
            job.answer->fail(std::current_exception());
        }
        // The job, with what its work holds, goes before the lock is taken.
        job = {};
        lock.lock();
        shared->running.reset();
    }
}

} // namespace tovalit
