#include "platform/linux/x11_keymap.h"

#include "platform/linux/xcb_connection.h"

#include <X11/keysym.h>

namespace tovalit {

std::optional<X11Keymap> X11Keymap::load(xcb_connection_t *connection) {
    const xcb_setup_t *setup = xcb_get_setup(connection);
    X11Keymap keymap;
    keymap.m_minKeycode = setup->min_keycode;
    keymap.m_maxKeycode = setup->max_keycode;
    const auto keyboardCookie = xcb_get_keyboard_mapping(
        connection, setup->min_keycode, quint8(setup->max_keycode - setup->min_keycode + 1));
    const auto modifierCookie = xcb_get_modifier_mapping(connection);
    auto keyboard = xcbReply(xcb_get_keyboard_mapping_reply(connection, keyboardCookie, nullptr));
    auto modifiers = xcbReply(xcb_get_modifier_mapping_reply(connection, modifierCookie, nullptr));
    if (!keyboard || !modifiers)
        return std::nullopt;

    keymap.m_keysymsPerKeycode = keyboard->keysyms_per_keycode;
    const xcb_keysym_t *keysyms = xcb_get_keyboard_mapping_keysyms(keyboard.get());
    keymap.m_keysyms.assign(keysyms,
                            keysyms + xcb_get_keyboard_mapping_keysyms_length(keyboard.get()));
    keymap.m_keycodesPerModifier = modifiers->keycodes_per_modifier;
    const xcb_keycode_t *keycodes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    keymap.m_modifierKeycodes.assign(
        keycodes, keycodes + xcb_get_modifier_mapping_keycodes_length(modifiers.get()));
    return keymap;
}

bool X11Keymap::produces(xcb_keycode_t keycode, xcb_keysym_t keysym) const {
    if (keycode < m_minKeycode || keycode > m_maxKeycode || m_keysymsPerKeycode == 0)
        return false;
    const size_t first = size_t(keycode - m_minKeycode) * size_t(m_keysymsPerKeycode);
    for (int column = 0; column < m_keysymsPerKeycode; ++column) {
        const size_t index = first + size_t(column);
        if (index < m_keysyms.size() && m_keysyms[index] == keysym)
            return true;
    }
    return false;
}

std::optional<xcb_keycode_t> X11Keymap::keycodeFor(xcb_keysym_t keysym) const {
    for (int keycode = m_minKeycode; keycode <= m_maxKeycode; ++keycode) {
        if (produces(xcb_keycode_t(keycode), keysym))
            return xcb_keycode_t(keycode);
    }
    return std::nullopt;
}

bool X11Keymap::isMapped(xcb_keycode_t keycode) const {
    if (keycode == 0 || keycode < m_minKeycode || keycode > m_maxKeycode)
        return false;
    const size_t first = size_t(keycode - m_minKeycode) * size_t(m_keysymsPerKeycode);
    for (int column = 0; column < m_keysymsPerKeycode; ++column) {
        const size_t index = first + size_t(column);
        if (index < m_keysyms.size() && m_keysyms[index] != XCB_NO_SYMBOL)
            return true;
    }
    return false;
}

quint16 X11Keymap::modifierMaskOf(xcb_keysym_t keysym) const {
    if (m_keycodesPerModifier == 0)
        return 0;
    // Rows in the order Shift, Lock, Control, Mod1 … Mod5.
    for (int row = 0; row < 8; ++row) {
        for (int slot = 0; slot < m_keycodesPerModifier; ++slot) {
            const size_t index = size_t(row * m_keycodesPerModifier + slot);
            if (index >= m_modifierKeycodes.size())
                continue;
            const xcb_keycode_t keycode = m_modifierKeycodes[index];
            if (keycode != 0 && produces(keycode, keysym))
                return quint16(1u << row);
        }
    }
    return 0;
}

quint16 X11Keymap::altMask() const {
    for (xcb_keysym_t keysym : {XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R}) {
        if (const quint16 mask = modifierMaskOf(keysym))
            return mask;
    }
    return XCB_MOD_MASK_1;
}

quint16 X11Keymap::superMask() const {
    for (xcb_keysym_t keysym : {XK_Super_L, XK_Super_R, XK_Hyper_L, XK_Hyper_R}) {
        if (const quint16 mask = modifierMaskOf(keysym))
            return mask;
    }
    return XCB_MOD_MASK_4;
}

quint16 X11Keymap::numLockMask() const {
    return modifierMaskOf(XK_Num_Lock);
}

} // namespace tovalit
