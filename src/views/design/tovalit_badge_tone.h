#pragma once

#include <QColor>

#include <array>

namespace tovalit {

// The semantic tone of a badge or notice.
enum class TovalitBadgeTone { brand, neutral, success, warning, danger };

inline constexpr std::array<TovalitBadgeTone, 5> allTovalitBadgeTones{
    TovalitBadgeTone::brand, TovalitBadgeTone::neutral, TovalitBadgeTone::success,
    TovalitBadgeTone::warning, TovalitBadgeTone::danger};

// The fill of a badge's pill.
QColor backgroundColor(TovalitBadgeTone tone);
// A badge's text and a notice's icon.
QColor foregroundColor(TovalitBadgeTone tone);

} // namespace tovalit
