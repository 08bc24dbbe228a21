#include "platform/linux/xtest_key_sender.h"

#include "platform/linux/xcb_connection.h"

#include <QList>

#include <X11/keysym.h>
#include <optional>
#include <xcb/xtest.h>

namespace tovalit {

namespace {

struct KeyboardMapping {
    xcb_keycode_t minKeycode = 0;
    int keysymsPerKeycode = 0;
    QList<xcb_keysym_t> keysyms;
};

std::optional<KeyboardMapping> keyboardMapping(xcb_connection_t *connection) {
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto reply = xcbReply(xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, uint8_t(count)),
        nullptr));
    if (!reply || reply->keysyms_per_keycode == 0)
        return std::nullopt;
    const xcb_keysym_t *keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply.get());
    KeyboardMapping mapping;
    mapping.minKeycode = setup->min_keycode;
    mapping.keysymsPerKeycode = reply->keysyms_per_keycode;
    mapping.keysyms = QList<xcb_keysym_t>(keysyms, keysyms + length);
    return mapping;
}

// The key that types `keysym`, preferring one where it is the key's first
// symbol (no Shift, first layout group). Keycode 0 means "any key" to the
// server and is never returned.
std::optional<xcb_keycode_t> keycodeFor(const KeyboardMapping &mapping, xcb_keysym_t keysym) {
    const int width = mapping.keysymsPerKeycode;
    const qsizetype keys = mapping.keysyms.size() / width;
    for (int column = 0; column < width; ++column) {
        for (qsizetype key = 0; key < keys; ++key) {
            const int keycode = mapping.minKeycode + int(key);
            if (keycode > 0 && keycode <= 255 && mapping.keysyms[key * width + column] == keysym)
                return xcb_keycode_t(keycode);
        }
    }
    return std::nullopt;
}

// Keys bound to Shift, Control, Mod1 (Alt), Mod3, Mod4 (Super) and Mod5
// (AltGr) that are down now. Caps Lock and Num Lock are states, not held
// keys, and stay as they are.
QList<xcb_keycode_t> heldModifierKeys(xcb_connection_t *connection) {
    auto modifiers = xcbReply(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    auto keymap =
        xcbReply(xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr));
    QList<xcb_keycode_t> held;
    if (!modifiers || !keymap)
        return held;
    const xcb_keycode_t *keycodes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perModifier = modifiers->keycodes_per_modifier;
    for (const int modifier : {0, 2, 3, 5, 6, 7}) {
        for (int index = 0; index < perModifier; ++index) {
            const xcb_keycode_t keycode = keycodes[modifier * perModifier + index];
            if (keycode != 0 && (keymap->keys[keycode / 8] & (1 << (keycode % 8))) &&
                !held.contains(keycode))
                held.append(keycode);
        }
    }
    return held;
}

bool fakeKey(xcb_connection_t *connection, uint8_t type, xcb_keycode_t keycode) {
    const xcb_void_cookie_t cookie =
        xcb_test_fake_input_checked(connection, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_generic_error_t *error = xcb_request_check(connection, cookie);
    if (!error)
        return true;
    std::free(error);
    return false;
}

// The keys of `keys`, modifiers first; nothing when the keyboard lacks one.
std::optional<QList<xcb_keycode_t>> chordOf(const KeyboardMapping &mapping, PasteKeys keys) {
    std::optional<xcb_keycode_t> control = keycodeFor(mapping, XK_Control_L);
    if (!control)
        control = keycodeFor(mapping, XK_Control_R);
    std::optional<xcb_keycode_t> shift = keycodeFor(mapping, XK_Shift_L);
    if (!shift)
        shift = keycodeFor(mapping, XK_Shift_R);
    const std::optional<xcb_keycode_t> v = keycodeFor(mapping, XK_v);
    const std::optional<xcb_keycode_t> insert = keycodeFor(mapping, XK_Insert);
    switch (keys) {
    case PasteKeys::controlV:
        if (control && v)
            return QList<xcb_keycode_t>{*control, *v};
        break;
    case PasteKeys::controlShiftV:
        if (control && shift && v)
            return QList<xcb_keycode_t>{*control, *shift, *v};
        break;
    case PasteKeys::shiftInsert:
        if (shift && insert)
            return QList<xcb_keycode_t>{*shift, *insert};
        break;
    }
    return std::nullopt;
}

} // namespace

XTestKeySender::XTestKeySender(std::shared_ptr<XcbConnection> connection)
    : m_x(std::move(connection)) {}

XTestKeySender::~XTestKeySender() = default;

std::shared_ptr<XTestKeySender> XTestKeySender::open() {
    return std::make_shared<XTestKeySender>(XcbConnection::open());
}

bool XTestKeySender::sendPasteShortcut() {
    return sendPasteKeys(PasteKeys::controlV);
}

bool XTestKeySender::sendPasteKeys(PasteKeys keys) {
    std::lock_guard lock(m_mutex);
    if (!m_x)
        return false;
    xcb_connection_t *connection = m_x->connection();
    if (xcb_connection_has_error(connection))
        return false;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_test_id);
    if (!extension || !extension->present)
        return false;
    const std::optional<KeyboardMapping> mapping = keyboardMapping(connection);
    if (!mapping)
        return false;
    const std::optional<QList<xcb_keycode_t>> chord = chordOf(*mapping, keys);
    if (!chord)
        return false;

    for (const xcb_keycode_t keycode : heldModifierKeys(connection))
        fakeKey(connection, XCB_KEY_RELEASE, keycode);

    // A release of a key that is not down changes nothing, so every failure
    // releases everything we may have pressed, the last pressed first.
    const auto releaseUpTo = [&](qsizetype last) {
        for (qsizetype index = last; index >= 0; --index)
            fakeKey(connection, XCB_KEY_RELEASE, (*chord)[index]);
    };
    for (qsizetype index = 0; index < chord->size(); ++index) {
        if (!fakeKey(connection, XCB_KEY_PRESS, (*chord)[index])) {
            releaseUpTo(index);
            return false;
        }
    }
    bool released = true;
    for (qsizetype index = chord->size() - 1; index >= 0; --index)
        released = fakeKey(connection, XCB_KEY_RELEASE, (*chord)[index]) && released;
    return released;
}

} // namespace tovalit
