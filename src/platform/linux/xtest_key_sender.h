#pragma once

#include "platform/key_sender.h"

#include <memory>
#include <mutex>

namespace tovalit {

class XcbConnection;

// Synthetic keys through the XTest extension, on an X connection of our
// own: they reach the window that has the X input focus, as typed keys
// would. Modifiers the user still holds (the end of a dictation shortcut,
// say) are released first, so the application sees the paste keys and
// nothing else. Usable from any thread.
class XTestKeySender final : public KeySender {
public:
    // `connection` may be null: there is no X server and nothing is sent.
    explicit XTestKeySender(std::shared_ptr<XcbConnection> connection);
    ~XTestKeySender() override;

    // On a connection of its own, or on none without an X server.
    static std::shared_ptr<XTestKeySender> open();

    bool sendPasteShortcut() override;
    bool sendPasteKeys(PasteKeys keys) override;

private:
    std::mutex m_mutex;
    std::shared_ptr<XcbConnection> m_x;
};

} // namespace tovalit
