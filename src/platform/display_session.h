#pragma once

#include <QtGlobal>

#include <optional>

namespace tovalit {

// The kind of graphical session the user runs. In a Wayland session our
// windows and our X11 connection go through XWayland: the X server knows
// only the windows of other X11 clients, synthetic keys sent through it
// reach only those, and native Wayland windows are known to the
// accessibility bus alone.
struct DisplaySession {
    bool wayland = false;

    // As the session's environment says: XDG_SESSION_TYPE "wayland", or a
    // WAYLAND_DISPLAY, which compositors set even where the session type
    // is not.
    static DisplaySession fromEnvironment();

    // Whether the window with the keyboard focus is one the X server
    // knows, from the process of the X server's active window and the
    // process the accessibility bus says has the focus (either may be
    // unknown). Always in an X11 session. In a Wayland session only an
    // XWayland window: the X server has an active window, and it belongs
    // to the focused application when that one is known.
    bool xServerKnowsFocusedWindow(std::optional<qint32> activeXWindowProcess,
                                   std::optional<qint32> focusedProcess) const;
};

} // namespace tovalit
