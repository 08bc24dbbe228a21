#pragma once

#include "app/floating_panel_screens.h"

#include <QRectF>

#include <cmath>
#include <gtest/gtest.h>

namespace tovalit::testing {

// Screens the test arranges; none at all until it adds some.
class ArrangedScreens : public FloatingPanelScreens {
public:
    QList<Screen> screens() const override { return list; }
    std::optional<Screen> mainScreen() const override { return main; }
    QPointF mouseLocation() const override { return mouse; }

    QList<Screen> list;
    std::optional<Screen> main;
    QPointF mouse;
};

inline ::testing::AssertionResult frameIs(const QRectF &frame, qreal x, qreal y, qreal width,
                                          qreal height, qreal tolerance = 0.01) {
    const bool close = std::abs(frame.x() - x) <= tolerance &&
                       std::abs(frame.y() - y) <= tolerance &&
                       std::abs(frame.width() - width) <= tolerance &&
                       std::abs(frame.height() - height) <= tolerance;
    if (close)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "frame is (" << frame.x() << ", " << frame.y() << ", " << frame.width() << " x "
           << frame.height() << "), expected (" << x << ", " << y << ", " << width << " x "
           << height << ")";
}

} // namespace tovalit::testing
