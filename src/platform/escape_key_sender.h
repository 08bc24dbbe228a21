#pragma once

namespace tovalit {

// Presses and releases Escape for whatever has the keyboard focus, as if
// the user had.
class EscapeKeySender {
public:
    virtual ~EscapeKeySender() = default;

    // False when nothing could be sent.
    virtual bool sendEscapeKey() = 0;
};

} // namespace tovalit
