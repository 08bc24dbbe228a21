#pragma once

#include "platform/escape_key_sender.h"

#include <memory>
#include <mutex>

namespace tovalit {

class XcbConnection;

// Escape through the X server's test extension, on a connection of our
// own opened on first use.
class XTestEscapeKeySender final : public EscapeKeySender {
public:
    bool sendEscapeKey() override;

    // Whether the X server offers synthetic input at all.
    static bool isAvailable(XcbConnection &connection);

private:
    std::mutex m_mutex;
    std::shared_ptr<XcbConnection> m_x;
};

} // namespace tovalit
