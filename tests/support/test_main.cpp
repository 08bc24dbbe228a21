#include "app/qt_platform_choice.h"
#include "support/parked_coroutine.h"
#include "support/spawn.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

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
    // Qt holds back what the session bus delivers until the event loop
    // first turns, and only then frees the object that holds it back. A test
    // that opens the bus from this thread (the accessibility bridge of every
    // widget test does) and never turns the loop would leave that object to
    // the leak checker, so the bus is opened and that turn taken first.
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QDBusConnection::sessionBus();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // Work a test started may outlive it on purpose (the clipboard comes
    // back after its delay even when the service is gone): it ends here,
    // not cut off by the end of the process, where the leak checker would
    // take its frames for leaks. A task parked for good, its owner gone,
    // never ends, and its frames stay reachable. A parked coroutine need
    // not hold up a detached task (an unkept task of its owner's may be
    // the one parked), so the counts alone can say "done" while a wait
    // that its owner cancelled as the test ended has its wake still
    // posted: what is posted is always delivered first.
    const QDeadlineTimer limit(10000);
    for (;;) {
        tovalit::settleDetachedTasks();
        // What the ended waits let go of later (their timers' contexts).
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (tovalit::detachedTasksInFlight() <= tovalit::parkedCoroutineCount() ||
            limit.hasExpired())
            break;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // What is torn down from here on talks to the X server and the
    // compositor; one that stopped answering must not keep the program
    // from ending (and the next tests from running) until the harness
    // gives up on it. Never reached when the program ends as it should.
    std::thread([status] {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        std::fprintf(stderr, "test_main: the program had not ended 60 s after its tests\n");
        std::_Exit(status != 0 ? status : 1);
    }).detach();
    return status;
}
