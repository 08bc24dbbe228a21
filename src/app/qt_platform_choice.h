#pragma once

#include <QString>

#include <optional>

namespace tovalit {

// The floating panels place themselves on the screen and never take the
// focus, which an X server lets an application do and a Wayland compositor
// does not; so in a Wayland session Tovalit's windows run through
// XWayland. Chooses Qt's xcb platform, or Wayland where there is no X
// server at all (only so that unsupportedPlatformMessage() can say so),
// unless the user named one in QT_QPA_PLATFORM. Call before the
// application object is made; the programs Tovalit starts later do not
// inherit the choice.
void preferXcbPlatform();

// On Qt's Wayland platform a floating panel takes the focus from the
// window dictated into, and the text does not reach it: there, the words
// that tell the user why Tovalit does not run, and what to change; nothing
// elsewhere. Call once the application object exists.
std::optional<QString> unsupportedPlatformMessage();

} // namespace tovalit
