#pragma once

#include "platform/display_session.h"

#include <memory>

namespace tovalit {

class AccessibilityClient;
class AccessibilityThread;
class ScreenCapture;
class TextRecognizer;
class WindowSystem;

// The desktop services that reach into other applications, on Linux: one
// accessibility thread and AT-SPI client (shared by the context capture
// and the insertion), the X11 window system and pixels, the text
// recognition engine, and whether the session is a Wayland one (where the
// X server knows only XWayland windows).
struct InteractionPlatform {
    DisplaySession displaySession;
    std::shared_ptr<AccessibilityThread> accessibilityThread;
    std::shared_ptr<AccessibilityClient> accessibility;
    std::shared_ptr<WindowSystem> windowSystem;
    std::shared_ptr<ScreenCapture> screenCapture;
    std::shared_ptr<TextRecognizer> textRecognizer;
};

// Without an X server the window system has no windows and the screen
// cannot be read; without an accessibility bus nothing is trusted.
InteractionPlatform makeLinuxInteractionPlatform();

} // namespace tovalit
