#pragma once

#include <QFont>
#include <QString>

class QApplication;
class QIcon;

namespace tovalit {

// The one font family of the interface: the first installed family that
// draws Simplified Chinese, so no text falls back glyph by glyph into a
// Japanese or Traditional design (or boxes).
QString tovalitFontFamily();

// The interface font at `pixelSize` device-independent pixels (fractional
// sizes allowed) and `weight`.
QFont tovalitFont(qreal pixelSize, QFont::Weight weight = QFont::Normal);

// The text styles the pages use besides the tokens.
namespace TovalitTextStyle {
QFont headline();
QFont title3();
QFont subheadline();
QFont footnote();
QFont caption();
} // namespace TovalitTextStyle

// Gives the application the light appearance whatever the desktop's theme:
// the Fusion style with a light palette and the interface font, and its
// icon.
void applyTovalitAppearance(QApplication &application);

// The drawing the desktop entry names, bundled, so that the window manager
// and task bars show it also for a run from the build tree.
QIcon tovalitApplicationIcon();

} // namespace tovalit
