#pragma once

#include <QString>

#include <optional>

namespace tovalit {

class AccessibilityClient;

// The application that has the keyboard focus as the accessibility bus
// sees it, with the title of the window the focus sits in. Where the X
// server knows no window of that application (a native window of a
// Wayland session), this is the only word on where the user is typing.
struct AccessibilityFocus {
    qint32 processIdentifier = 0;
    // The name the application gives itself on the bus.
    std::optional<QString> applicationName;
    // The title of the focused element's window: its topmost ancestor
    // below the application.
    std::optional<QString> windowTitle;

    bool operator==(const AccessibilityFocus &) const = default;

    // Nothing when accessibility is off or no application has the focus.
    // On the accessibility thread.
    static std::optional<AccessibilityFocus> read(AccessibilityClient &client);
};

} // namespace tovalit
