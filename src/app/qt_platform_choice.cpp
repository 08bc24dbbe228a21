#include "app/qt_platform_choice.h"

#include <QCoreApplication>

namespace tovalit {

namespace {

// Runs once the application object has loaded its platform.
void forgetChosenPlatform() {
    qunsetenv("QT_QPA_PLATFORM");
}

} // namespace

void preferXcbPlatform() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    qAddPreRoutine(forgetChosenPlatform);
}

} // namespace tovalit
