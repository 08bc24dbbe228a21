#pragma once

#include "platform/paste_keys.h"

namespace tovalit {

// Synthetic key presses into whatever window has the keyboard focus.
class KeySender {
public:
    virtual ~KeySender() = default;

    // Presses and releases the paste shortcut (Ctrl+V) with no other
    // modifier in effect. False when the key events could not be sent; no
    // key we pressed is left down either way.
    virtual bool sendPasteShortcut() = 0;
    // The same for `keys`, with no other modifier in effect. A sender that
    // knows only Ctrl+V sends nothing else: false.
    virtual bool sendPasteKeys(PasteKeys keys) {
        return keys == PasteKeys::controlV && sendPasteShortcut();
    }
};

} // namespace tovalit
