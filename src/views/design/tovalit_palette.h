#pragma once

#include <QColor>

namespace tovalit {

// A colour with its opacity multiplied by `opacity` (0...1), as a colour
// "at 0.5" is drawn.
QColor withOpacity(QColor color, qreal opacity);

// The application's own colours, and the standard colours (in their light
// appearance, the only one the application draws) that the views mix them
// with.
namespace TovalitPalette {

QColor brand();
QColor brandSoft();
QColor brandStrong();
QColor glassBorder();
QColor glassBorderSoft();
QColor glassButtonFill();
QColor windowGlow();
QColor windowGlowSecondary();
QColor toastForeground();

// Label colours of the light appearance.
QColor primary();
QColor secondary();
QColor orange();
QColor red();
// White or black at `opacity`.
QColor white(qreal opacity = 1.0);
QColor black(qreal opacity = 1.0);

} // namespace TovalitPalette

} // namespace tovalit
