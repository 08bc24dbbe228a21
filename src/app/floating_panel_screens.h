#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>

#include <optional>

namespace tovalit {

// What the floating panel needs to know of the desktop's screens, in
// desktop coordinates (y downwards). The visible frame leaves out docks
// and panels.
class FloatingPanelScreens {
public:
    struct Screen {
        QRectF frame;
        QRectF visibleFrame;

        bool operator==(const Screen &) const = default;
    };

    virtual ~FloatingPanelScreens() = default;

    // In the system's order.
    virtual QList<Screen> screens() const = 0;
    virtual std::optional<Screen> mainScreen() const = 0;
    virtual QPointF mouseLocation() const = 0;
};

} // namespace tovalit
