#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>
#include <xcb/xcb.h>

namespace tovalit {

// A snapshot of the X server's keyboard: which key symbols each key code
// produces and which modifier bit each modifier key sets. Taken again
// whenever it matters, since layouts change at run time.
class X11Keymap {
public:
    // Nothing when the server does not answer.
    static std::optional<X11Keymap> load(xcb_connection_t *connection);

    // The lowest key code that produces `keysym` in any column.
    std::optional<xcb_keycode_t> keycodeFor(xcb_keysym_t keysym) const;
    // Whether the server knows `keycode` and it produces anything.
    bool isMapped(xcb_keycode_t keycode) const;
    // The modifier bit (ShiftMask … Mod5Mask) set by a key producing
    // `keysym`, or 0 when no modifier key produces it.
    quint16 modifierMaskOf(xcb_keysym_t keysym) const;

    // The masks that, by convention, stand for Alt and Super on this
    // server, and Num Lock's (0 when it has none).
    quint16 altMask() const;
    quint16 superMask() const;
    quint16 numLockMask() const;

private:
    X11Keymap() = default;
    bool produces(xcb_keycode_t keycode, xcb_keysym_t keysym) const;

    xcb_keycode_t m_minKeycode = 0;
    xcb_keycode_t m_maxKeycode = 0;
    int m_keysymsPerKeycode = 0;
    std::vector<xcb_keysym_t> m_keysyms;
    int m_keycodesPerModifier = 0;
    std::vector<xcb_keycode_t> m_modifierKeycodes;
};

} // namespace tovalit
