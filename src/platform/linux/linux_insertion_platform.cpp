#include "platform/linux/linux_insertion_platform.h"

#include "platform/display_session.h"
#include "platform/linux/qt_clipboard_pasteboard.h"
#include "platform/linux/wayland_data_control_selection.h"
#include "platform/linux/wayland_session_pasteboard.h"
#include "platform/linux/xcb_connection.h"
#include "platform/linux/xtest_key_sender.h"

namespace tovalit {

namespace {

// The compositor clears the X server's active window while one of its own
// windows has the focus.
bool xWindowHasFocus(XcbConnection &x) {
    xcb_window_t active = XCB_NONE;
    return xcb_ewmh_get_active_window_reply(x.ewmh(),
                                            xcb_ewmh_get_active_window(x.ewmh(), x.screenNumber()),
                                            &active, nullptr) &&
           active != XCB_NONE;
}

} // namespace

InsertionPlatform makeLinuxInsertionPlatform() {
    std::shared_ptr<Pasteboard> pasteboard = std::make_shared<QtClipboardPasteboard>();
    if (DisplaySession::fromEnvironment().wayland) {
        std::shared_ptr<XcbConnection> x = XcbConnection::open();
        auto selection = WaylandDataControlSelection::connect(QtClipboardPasteboard::ownWriteType);
        if (x && selection)
            pasteboard = std::make_shared<WaylandSessionPasteboard>(
                std::move(pasteboard), std::move(selection), [x] { return xWindowHasFocus(*x); });
    }
    return InsertionPlatform{std::move(pasteboard), XTestKeySender::open(),
                             std::make_shared<QtClipboardPasteboard>(
                                 ClipboardReadLimits{}, QtClipboardPasteboard::Selection::primary)};
}

} // namespace tovalit
