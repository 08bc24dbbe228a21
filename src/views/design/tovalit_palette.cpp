#include "views/design/tovalit_palette.h"

#include <algorithm>

namespace tovalit {

QColor withOpacity(QColor color, qreal opacity) {
    color.setAlphaF(float(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return color;
}

namespace TovalitPalette {

QColor brand() {
    return QColor::fromRgbF(0.2f, 0.74f, 0.73f);
}

QColor brandSoft() {
    return withOpacity(brand(), 0.16);
}

QColor brandStrong() {
    return QColor::fromRgbF(0.1f, 0.66f, 0.66f);
}

QColor glassBorder() {
    return white(0.46);
}

QColor glassBorderSoft() {
    return white(0.28);
}

QColor glassButtonFill() {
    return white(0.18);
}

QColor windowGlow() {
    return QColor::fromRgbF(0.84f, 0.96f, 0.97f);
}

QColor windowGlowSecondary() {
    return QColor::fromRgbF(0.92f, 0.95f, 1.0f);
}

QColor toastForeground() {
    return withOpacity(primary(), 0.92);
}

QColor primary() {
    return QColor(0, 0, 0, 217); // black at 0.85
}

QColor secondary() {
    return QColor(0, 0, 0, 128); // black at 0.5
}

QColor orange() {
    return QColor(255, 149, 0);
}

QColor red() {
    return QColor(255, 59, 48);
}

QColor white(qreal opacity) {
    return withOpacity(QColor(255, 255, 255), opacity);
}

QColor black(qreal opacity) {
    return withOpacity(QColor(0, 0, 0), opacity);
}

} // namespace TovalitPalette

} // namespace tovalit
