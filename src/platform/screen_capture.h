#pragma once

#include "platform/captured_image.h"

#include <QRectF>

#include <optional>

namespace tovalit {

// Reads pixels of windows on screen.
class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;

    // Whether this process can read the screen at all. Never asks the user.
    virtual bool isCapturePermitted() = 0;
    // The window's content without its frame; with `area` (global screen
    // coordinates) only that part of it. Nothing when the window is gone
    // or the area holds no pixels.
    virtual std::optional<CapturedImage> captureWindow(quint32 windowNumber,
                                                       std::optional<QRectF> area) = 0;
};

} // namespace tovalit
