#include "support/cancel_token.h"

#include <QtGlobal>

#include <atomic>
#include <map>
#include <mutex>

namespace tovalit {

struct CancelToken::State {
    std::mutex mutex;
    std::atomic<bool> cancelled{false};
    quint64 nextId = 1;
    std::map<quint64, std::function<void()>> callbacks;
};

CancelToken::CancelToken()
    : m_state(std::make_shared<State>()) {}

void CancelToken::cancel() const {
    std::map<quint64, std::function<void()>> callbacks;
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->cancelled.exchange(true))
            return;
        callbacks.swap(m_state->callbacks);
    }
    for (auto &[id, callback] : callbacks)
        callback();
}

bool CancelToken::isCancelled() const {
    return m_state->cancelled.load();
}

CancelSubscription CancelToken::onCancel(std::function<void()> callback) const {
    {
        std::lock_guard lock(m_state->mutex);
        if (!m_state->cancelled.load()) {
            const quint64 id = m_state->nextId++;
            m_state->callbacks.emplace(id, std::move(callback));
            return CancelSubscription(m_state, id);
        }
    }
    callback();
    return {};
}

CancelSubscription::CancelSubscription(std::weak_ptr<CancelToken::State> state, quint64 id)
    : m_state(std::move(state))
    , m_id(id) {}

CancelSubscription::CancelSubscription(CancelSubscription &&other) noexcept
    : m_state(std::move(other.m_state))
    , m_id(std::exchange(other.m_id, 0)) {}

CancelSubscription &CancelSubscription::operator=(CancelSubscription &&other) noexcept {
    if (this != &other) {
        reset();
        m_state = std::move(other.m_state);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

CancelSubscription::~CancelSubscription() {
    reset();
}

void CancelSubscription::reset() {
    if (auto state = m_state.lock(); state && m_id != 0) {
        std::function<void()> removed;
        {
            std::lock_guard lock(state->mutex);
            if (auto it = state->callbacks.find(m_id); it != state->callbacks.end()) {
                removed = std::move(it->second);
                state->callbacks.erase(it);
            }
        }
        // `removed` dies here, outside the lock: its captures may own objects
        // whose destruction takes other locks.
    }
    m_state.reset();
    m_id = 0;
}

} // namespace tovalit
