#pragma once

namespace tovalit {

// Whether the desktop session is a Wayland one. Tovalit's own windows then
// still run through XWayland, but the X server sees none of the native
// Wayland windows, their keys or their pixels.
bool isWaylandSession();

} // namespace tovalit
