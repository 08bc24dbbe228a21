#include "app/app_delegate.h"

#include "app/legacy_menu_bar_controller.h"
#include "views/design/configure_primary_window.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace tovalit {

namespace {

// Ordinary windows: not menus, tool tips or floating panels.
bool isApplicationWindow(const QWidget *widget) {
    if (!widget->isWindow())
        return false;
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

} // namespace

AppDelegate::AppDelegate(LegacyMenuBarController *menuBar, QObject *parent)
    : QObject(parent)
    , m_menuBar(menuBar ? *menuBar : LegacyMenuBarController::shared()) {}

void AppDelegate::applicationDidFinishLaunching() {
    // A Qt application is a regular one with its windows in the task bar
    // from the start; there is no activation policy to change.
    activateIgnoringOtherApps();
    configureEveryWindow();
    m_menuBar.startIfNeeded();
}

void AppDelegate::applicationWillTerminate() {
    m_menuBar.removeStatusItem();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (!hasVisibleWindows)
        activateIgnoringOtherApps();
    configureEveryWindow();
    return true;
}

void AppDelegate::activateIgnoringOtherApps() {
    QWidget *front = QApplication::activeWindow();
    if (!front) {
        for (QWidget *window : applicationWindows()) {
            if (window->isVisible()) {
                front = window;
                break;
            }
        }
    }
    if (!front)
        return;
    front->raise();
    front->activateWindow();
}

bool AppDelegate::hasVisibleWindows() {
    const QList<QWidget *> windows = applicationWindows();
    return std::any_of(windows.begin(), windows.end(), [](QWidget *window) {
        return window->isVisible() && !window->isMinimized();
    });
}

QList<QWidget *> AppDelegate::applicationWindows() {
    QList<QWidget *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (isApplicationWindow(widget))
            windows.append(widget);
    }
    return windows;
}

void AppDelegate::configureEveryWindow() {
    // configurePrimaryWindow() leaves every window but the main one alone.
    for (QWidget *window : applicationWindows())
        configurePrimaryWindow(window);
}

} // namespace tovalit
