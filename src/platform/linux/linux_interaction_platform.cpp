#include "platform/linux/linux_interaction_platform.h"

#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/desktop_entry_index.h"
#include "platform/linux/tesseract_text_recognizer.h"
#include "platform/linux/x11_screen_capture.h"
#include "platform/linux/x11_window_system.h"
#include "platform/linux/xcb_connection.h"

namespace tovalit {

InteractionPlatform makeLinuxInteractionPlatform() {
    InteractionPlatform platform;
    platform.displaySession = DisplaySession::fromEnvironment();
    platform.accessibilityThread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<XcbConnection> x = XcbConnection::open();
    auto windowSystem = std::make_shared<X11WindowSystem>(x, std::make_shared<DesktopEntryIndex>());
    platform.windowSystem = windowSystem;
    // In an X11 session the X server knows every window; in a Wayland one
    // only those of XWayland.
    const bool knowsEveryWindow = x && !platform.displaySession.wayland;
    platform.accessibility = std::make_shared<AtspiAccessibilityClient>(
        platform.accessibilityThread, [windowSystem, knowsEveryWindow] {
            return WindowSystemFocus{knowsEveryWindow, windowSystem->focusedWindow()};
        });
    platform.screenCapture = std::make_shared<X11ScreenCapture>(x, platform.displaySession);
    platform.textRecognizer = std::make_shared<TesseractTextRecognizer>();
    return platform;
}

} // namespace tovalit
