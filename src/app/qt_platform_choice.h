#pragma once

namespace tovalit {

// The floating panels place themselves on the screen, which an X server
// lets an application do and a Wayland compositor does not; so in a
// Wayland session Tovalit's windows run through XWayland. Chooses Qt's xcb
// platform, or Wayland where there is no X server at all, unless the user
// named one in QT_QPA_PLATFORM. Call before the application object is
// made; the programs Tovalit starts later do not inherit the choice.
void preferXcbPlatform();

} // namespace tovalit
