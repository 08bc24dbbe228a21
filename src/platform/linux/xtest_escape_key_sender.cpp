#include "platform/linux/xtest_escape_key_sender.h"

#include "platform/linux/x11_keymap.h"
#include "platform/linux/xcb_connection.h"

#include <X11/keysym.h>
#include <xcb/xtest.h>

namespace tovalit {

bool XTestEscapeKeySender::isAvailable(XcbConnection &connection) {
    const xcb_query_extension_reply_t *extension =
        xcb_get_extension_data(connection.connection(), &xcb_test_id);
    return extension && extension->present;
}

bool XTestEscapeKeySender::sendEscapeKey() {
    std::lock_guard lock(m_mutex);
    if (!m_x || xcb_connection_has_error(m_x->connection()))
        m_x = XcbConnection::open();
    if (!m_x || !isAvailable(*m_x))
        return false;
    xcb_connection_t *c = m_x->connection();
    const auto keymap = X11Keymap::load(c);
    const auto keycode = keymap ? keymap->keycodeFor(XK_Escape) : std::nullopt;
    if (!keycode)
        return false;
    const auto down = xcb_test_fake_input_checked(c, XCB_KEY_PRESS, *keycode, XCB_CURRENT_TIME,
                                                  XCB_NONE, 0, 0, 0);
    const auto up = xcb_test_fake_input_checked(c, XCB_KEY_RELEASE, *keycode, XCB_CURRENT_TIME,
                                                XCB_NONE, 0, 0, 0);
    auto downError = xcbReply(xcb_request_check(c, down));
    auto upError = xcbReply(xcb_request_check(c, up));
    return !downError && !upError;
}

} // namespace tovalit
