#include "app/qt_platform_choice.h"
#include "support/parked_coroutine.h"
#include "support/spawn.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

int main(int argc, char *argv[]) {
    // Unit tests run without a display; the headless session of
    // scripts/test provides one for the integration tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // In a Wayland session the tests' windows go through XWayland, as the
    // application's own do.
    tovalit::preferXcbPlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovalit"));
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // Work a test started may outlive it on purpose (the clipboard comes
    // back after its delay even when the service is gone): it ends here,
    // not cut off by the end of the process, where the leak checker would
    // take its frames for leaks. A task parked for good, its owner gone,
    // never ends, and its frames stay reachable.
    const QDeadlineTimer limit(10000);
    while (tovalit::detachedTasksInFlight() > tovalit::parkedCoroutineCount() &&
           !limit.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return status;
}
