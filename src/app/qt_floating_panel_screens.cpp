#include "app/qt_floating_panel_screens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace tovalit {

namespace {

FloatingPanelScreens::Screen describe(const QScreen *screen) {
    return {QRectF(screen->geometry()), QRectF(screen->availableGeometry())};
}

} // namespace

QList<FloatingPanelScreens::Screen> QtFloatingPanelScreens::screens() const {
    QList<Screen> result;
    for (const QScreen *screen : QGuiApplication::screens())
        result.append(describe(screen));
    return result;
}

std::optional<FloatingPanelScreens::Screen> QtFloatingPanelScreens::mainScreen() const {
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return describe(screen);
    return std::nullopt;
}

QPointF QtFloatingPanelScreens::mouseLocation() const {
    return QPointF(QCursor::pos());
}

} // namespace tovalit
