#pragma once

#include "support/gui_thread.h"

#include <coroutine>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>
#include <variant>

namespace tovalit {

// A one-shot result that any thread may settle and a coroutine on the GUI
// thread awaits (`co_await *promise`). The first settlement wins; later ones
// are ignored and report false, so competing resolvers (a watchdog, the
// network, a cancel) need no coordination of their own. The awaiting
// coroutine always resumes on the GUI thread, through its event loop.
// Share it with std::shared_ptr between the resolvers and the awaiter.
template <typename T>
class CrossThreadPromise {
public:
    bool resolve(T value) { return settle(Outcome(std::in_place_index<1>, std::move(value))); }
    bool fail(std::exception_ptr error) {
        return settle(Outcome(std::in_place_index<2>, std::move(error)));
    }
    bool isSettled() const {
        std::lock_guard lock(m_mutex);
        return m_outcome.index() != 0;
    }

    class Awaiter {
    public:
        explicit Awaiter(CrossThreadPromise &promise)
            : m_promise(promise) {}
        bool await_ready() const { return m_promise.isSettled(); }
        bool await_suspend(std::coroutine_handle<> handle) {
            std::lock_guard lock(m_promise.m_mutex);
            if (m_promise.m_outcome.index() != 0)
                return false;
            m_promise.m_waiter = handle;
            return true;
        }
        T await_resume() {
            std::lock_guard lock(m_promise.m_mutex);
            if (m_promise.m_outcome.index() == 2)
                std::rethrow_exception(std::get<2>(m_promise.m_outcome));
            return std::get<1>(m_promise.m_outcome);
        }

    private:
        CrossThreadPromise &m_promise;
    };

    Awaiter operator co_await() { return Awaiter(*this); }

private:
    using Outcome = std::variant<std::monostate, T, std::exception_ptr>;

    bool settle(Outcome outcome) {
        std::coroutine_handle<> waiter;
        {
            std::lock_guard lock(m_mutex);
            if (m_outcome.index() != 0)
                return false;
            m_outcome = std::move(outcome);
            waiter = std::exchange(m_waiter, {});
        }
        if (waiter)
            postToGuiThread([waiter] { waiter.resume(); });
        return true;
    }

    mutable std::mutex m_mutex;
    Outcome m_outcome;
    std::coroutine_handle<> m_waiter;
};

} // namespace tovalit
