#pragma once

namespace tovalit {

// Whether the desktop can show see-through windows: on X11 only while a
// compositing manager runs (without one, the transparent pixels of a
// window show as black). Sessions without an X display (Wayland, the
// offscreen test platform) always can.
bool desktopCompositesWindows();

} // namespace tovalit
