#pragma once

namespace tovalit {

// Synthetic key presses into whatever window has the keyboard focus.
class KeySender {
public:
    virtual ~KeySender() = default;

    // Presses and releases the paste shortcut (Ctrl+V) with no other
    // modifier in effect. False when the key events could not be sent; no
    // key we pressed is left down either way.
    virtual bool sendPasteShortcut() = 0;
};

} // namespace tovalit
