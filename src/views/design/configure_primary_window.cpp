#include "views/design/configure_primary_window.h"

#include "services/settings/product_identity.h"

#include <QApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QToolBar>
#include <QWidget>
#include <QWindow>

namespace tovalit {

namespace {

const char *const configuredProperty = "tovalitPrimaryWindowConfigured";

// Presses that no child took reach the window itself: those start a move,
// as a drag on a title bar would.
class BackgroundDragMover : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::MouseButtonPress)
            return false;
        auto *press = static_cast<QMouseEvent *>(event);
        auto *window = qobject_cast<QWidget *>(watched);
        if (!window || press->button() != Qt::LeftButton || !window->windowHandle())
            return false;
        return window->windowHandle()->startSystemMove();
    }
};

} // namespace

bool isPrimaryWindow(const QWidget *window) {
    if (!window)
        return false;
    return window->objectName() == QStringLiteral("main-window") ||
           window->windowTitle() == ProductIdentity::productName();
}

void configurePrimaryWindow(QWidget *window) {
    if (!isPrimaryWindow(window))
        return;
    // Light, whatever the desktop's theme.
    window->setPalette(QApplication::palette());
    if (auto *mainWindow = qobject_cast<QMainWindow *>(window)) {
        mainWindow->setUnifiedTitleAndToolBarOnMac(true);
        for (QToolBar *toolBar : mainWindow->findChildren<QToolBar *>()) {
            toolBar->setMovable(false);
            toolBar->setStyleSheet(QStringLiteral("QToolBar { border: none; }"));
        }
    }
    if (!window->property(configuredProperty).toBool()) {
        window->installEventFilter(new BackgroundDragMover(window));
        window->setProperty(configuredProperty, true);
    }
}

} // namespace tovalit
