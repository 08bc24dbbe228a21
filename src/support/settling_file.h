#pragma once

#include <array>

// A file another program may be half-way through writing in place (a copy
// from a backup, an editor, a sync tool: each is done within moments) is
// read again after these waits before it is taken for damaged.
namespace tovalit::settlingfile {

// Seconds between one read and the next.
inline constexpr std::array<double, 4> shortWaits{0.5, 1.0, 2.0, 4.0};
// A file last modified longer ago than this has no writer still at it.
inline constexpr double writerAtWorkSeconds = 10.0;

} // namespace tovalit::settlingfile
