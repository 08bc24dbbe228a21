#pragma once

#include <functional>
#include <memory>

namespace tovalit {

class CancelSubscription;

// Cooperative cancellation shared between a kept task and whoever may cancel
// it. Copies share one state. Cancelling is permanent and thread-safe.
class CancelToken {
public:
    CancelToken();

    void cancel() const;
    bool isCancelled() const;

    // Runs `callback` once, on the cancelling thread, when the token is
    // cancelled (at once when it already is). The callback is removed when
    // the returned subscription is destroyed; it must not block.
    [[nodiscard]] CancelSubscription onCancel(std::function<void()> callback) const;

private:
    friend class CancelSubscription;
    struct State;
    std::shared_ptr<State> m_state;
};

class CancelSubscription {
public:
    CancelSubscription() = default;
    CancelSubscription(CancelSubscription &&other) noexcept;
    CancelSubscription &operator=(CancelSubscription &&other) noexcept;
    CancelSubscription(const CancelSubscription &) = delete;
    CancelSubscription &operator=(const CancelSubscription &) = delete;
    ~CancelSubscription();

private:
    friend class CancelToken;
    CancelSubscription(std::weak_ptr<CancelToken::State> state, quint64 id);
    void reset();

    std::weak_ptr<CancelToken::State> m_state;
    quint64 m_id = 0;
};

} // namespace tovalit
