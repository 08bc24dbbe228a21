#pragma once

#include "platform/escape_key_sender.h"

#include <atomic>
#include <functional>

namespace tovalit {

// Counts the Escape presses it was asked for; an optional hook runs with
// each (for example to close a fake panel).
class FakeEscapeKeySender final : public EscapeKeySender {
public:
    int count() const { return m_count; }
    void setOnSend(std::function<void()> hook) { m_onSend = std::move(hook); }
    bool sendEscapeKey() override {
        ++m_count;
        if (m_onSend)
            m_onSend();
        return true;
    }

private:
    std::atomic<int> m_count = 0;
    std::function<void()> m_onSend;
};

} // namespace tovalit
