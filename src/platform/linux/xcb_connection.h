#pragma once

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace tovalit {

// Our own connection to the X server, with the EWMH atoms interned. Kept
// apart from Qt's so our requests and errors never disturb it. XCB
// connections are thread-safe.
class XcbConnection {
public:
    // Nothing when there is no X server to talk to.
    static std::shared_ptr<XcbConnection> open();
    ~XcbConnection();
    XcbConnection(const XcbConnection &) = delete;
    XcbConnection &operator=(const XcbConnection &) = delete;

    xcb_connection_t *connection() const { return m_connection; }
    xcb_ewmh_connection_t *ewmh() { return &m_ewmh; }
    xcb_window_t root() const { return m_root; }
    int screenNumber() const { return m_screenNumber; }

private:
    XcbConnection() = default;

    xcb_connection_t *m_connection = nullptr;
    xcb_ewmh_connection_t m_ewmh{};
    bool m_ewmhReady = false;
    xcb_window_t m_root = 0;
    int m_screenNumber = 0;
};

// Owns a reply that XCB allocated with malloc.
template <typename Reply>
using XcbReply = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
XcbReply<Reply> xcbReply(Reply *reply) {
    return XcbReply<Reply>(reply, &std::free);
}

} // namespace tovalit
