#pragma once

#include <QFont>
#include <QtGlobal>

namespace tovalit {

// The shared sizes and font styles of every window page and panel. Lengths
// are device-independent pixels (the points of the design). One value per
// token: nothing here changes with the desktop's appearance.
namespace TovalitTokens {

namespace Spacing {
inline constexpr qreal xs = 8;
inline constexpr qreal sm = 12;
inline constexpr qreal md = 16;
inline constexpr qreal lg = 20;
} // namespace Spacing

namespace Radius {
inline constexpr qreal pill = 8;
inline constexpr qreal card = 12;
inline constexpr qreal largeCard = 16;
inline constexpr qreal toast = 10;
inline constexpr qreal hud = 24;
} // namespace Radius

namespace Layout {
inline constexpr qreal pagePadding = 24;
inline constexpr qreal contentSpacing = 16;
inline constexpr qreal sidebarWidth = 220;
inline constexpr qreal metricCardHeight = 124;
inline constexpr qreal toastMaxWidth = 360;
inline constexpr qreal toastMinWidth = 220;
} // namespace Layout

namespace FontStyle {
QFont cardTitle();
QFont body();
QFont bodyStrong();
QFont caption();
QFont captionStrong();
QFont badge();
} // namespace FontStyle

} // namespace TovalitTokens

} // namespace tovalit
