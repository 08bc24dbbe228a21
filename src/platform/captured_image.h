#pragma once

#include <QByteArray>

namespace tovalit {

// Pixels read from the screen: 8-bit grey, one byte per pixel, rows of
// `bytesPerLine` bytes from the top.
struct CapturedImage {
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
    QByteArray pixels;

    bool isNull() const { return width <= 0 || height <= 0; }
};

} // namespace tovalit
