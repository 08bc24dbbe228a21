#pragma once

#include "support/cancel_token.h"

#include <QByteArray>

#include <atomic>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

namespace tovalit {

// The thread the desktop's keyring is asked on. A keyring call blocks for
// as long as the keyring takes: while its unlock prompt waits for the user,
// or for good when the service never answers. Calls run one at a time, in
// the order they were submitted, so a save is never overtaken by a later
// load. The thread is never waited for: its owner may go while a call
// still blocks there (the application quitting), and then nothing that
// awaited it is resumed again (see parkForever).
class KeyringThread {
public:
    // The outcome of one call, awaited on the GUI thread (`co_await
    // *answer`). It is settled once: by the thread with the call's result
    // or exception, or earlier by whoever gives up on the call; later
    // settlements are ignored.
    class Answer {
    public:
        explicit Answer(std::shared_ptr<const std::atomic<bool>> abandoned);

        bool resolve(std::optional<QByteArray> value);
        bool fail(std::exception_ptr error);

        class Awaiter {
        public:
            explicit Awaiter(Answer &answer)
                : m_answer(answer) {}
            bool await_ready() const;
            bool await_suspend(std::coroutine_handle<> handle);
            std::optional<QByteArray> await_resume();

        private:
            Answer &m_answer;
        };
        Awaiter operator co_await() { return Awaiter(*this); }
        // For a call that will never run: its awaiter is parked for good.
        void giveUp();

    private:
        using Outcome = std::variant<std::monostate, std::optional<QByteArray>, std::exception_ptr>;
        bool settle(Outcome outcome);

        std::shared_ptr<const std::atomic<bool>> m_abandoned;
        mutable std::mutex m_mutex;
        Outcome m_outcome;
        std::coroutine_handle<> m_waiter;
    };

    using Work = std::function<std::optional<QByteArray>(CancelToken token)>;

    KeyringThread();
    // Abandons the thread.
    ~KeyringThread();
    KeyringThread(const KeyringThread &) = delete;
    KeyringThread &operator=(const KeyringThread &) = delete;

    // Queues `work`, which gets `token` to pass on to the keyring.
    std::shared_ptr<Answer> submit(Work work, CancelToken token);
    // On the GUI thread: the running call's token and those of the queued
    // calls are cancelled, the queued calls never run, and no answer
    // resumes its awaiter any more. Returns at once.
    void abandon();
    bool isAbandoned() const;

private:
    struct Shared;

    static void run(const std::shared_ptr<Shared> &shared);

    std::shared_ptr<Shared> m_shared;
};

} // namespace tovalit
