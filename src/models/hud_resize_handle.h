#pragma once

#include <array>

namespace tovalit {

// The edge or corner of the meeting panel that a resize drags. The panel
// only offers the corners; the edges exist for the geometry rules.
enum class HUDResizeHandle {
    top,
    bottom,
    leading,
    trailing,
    topLeading,
    topTrailing,
    bottomLeading,
    bottomTrailing,
};

inline constexpr std::array<HUDResizeHandle, 8> allHUDResizeHandles{
    HUDResizeHandle::top,           HUDResizeHandle::bottom,         HUDResizeHandle::leading,
    HUDResizeHandle::trailing,      HUDResizeHandle::topLeading,     HUDResizeHandle::topTrailing,
    HUDResizeHandle::bottomLeading, HUDResizeHandle::bottomTrailing,
};

} // namespace tovalit
