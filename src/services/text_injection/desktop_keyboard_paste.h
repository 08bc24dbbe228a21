#pragma once

#include "platform/accessibility_element.h"
#include "platform/paste_keys.h"
#include "support/sleeper.h"

#include <qcoro/qcorotask.h>

#include <memory>

namespace tovalit {

class AccessibilityClient;
class Pasteboard;
class RemoteDesktopKeyboardAccess;

// The paste into a window the X server does not know (a native window of
// a Wayland session): Ctrl+V on the keyboard the desktop lends, where it
// lends one. When the desktop had to ask the user during the paste, its
// window held the keyboard focus for a while, and Tovalit cannot give the
// focus back: the keys go out only once the accessibility bus shows it on
// the field again, within a bounded wait. A native window pastes what the
// compositor holds, which may not yet be what we put on the clipboard: the
// keys wait for it too, within a bound, and stay unsent when it does not
// come. GUI thread only.
class DesktopKeyboardPaste {
public:
    // Without `access` (an X11 session) no keyboard is ever lent.
    DesktopKeyboardPaste(std::shared_ptr<RemoteDesktopKeyboardAccess> access,
                         std::shared_ptr<AccessibilityClient> accessibility,
                         std::shared_ptr<Pasteboard> pasteboard, Sleeper sleeper);

    // Whether a paste into `field` (null when no field was found) can go
    // out through the lent keyboard now, asking the desktop first when
    // nothing has asked in this run.
    QCoro::Task<bool> ready(AccessibilityElementRef field);
    // Whether the keyboard is lent now, with nobody to ask.
    bool isLent() const;
    // Ctrl+V (or `keys`), once the session has our last clipboard write;
    // false, with no key sent, when it does not have it in time.
    QCoro::Task<bool> press(PasteKeys keys = PasteKeys::controlV);

    // How long the focus may take to come back from the desktop's window,
    // and how often it is looked for meanwhile.
    static constexpr double focusReturnLimit = 2.0;
    static constexpr double focusReturnInterval = 0.1;
    // The same for the session to take the clipboard.
    static constexpr double sessionClipboardLimit = 1.0;
    static constexpr double sessionClipboardInterval = 0.01;

private:
    QCoro::Task<bool> focusReturnedTo(AccessibilityElementRef field);
    QCoro::Task<bool> focusIsOn(AccessibilityElementRef field);
    QCoro::Task<bool> sessionHasClipboard();

    std::shared_ptr<RemoteDesktopKeyboardAccess> m_access;
    std::shared_ptr<AccessibilityClient> m_accessibility;
    std::shared_ptr<Pasteboard> m_pasteboard;
    Sleeper m_sleeper;
};

} // namespace tovalit
