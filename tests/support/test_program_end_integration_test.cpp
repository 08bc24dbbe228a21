#include "tests/support/child_test_process.h"
#include "tests/support/test_session.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QObject>

#include <cstdlib>
#include <gtest/gtest.h>

// How every test program ends (tests/support/test_main.cpp): a test that
// uses the session bus from the GUI thread, as the accessibility bridge of
// every widget test does, and never turns the event loop leaves nothing
// behind for the leak checker.

namespace tovalit {
namespace {

// Run only as the child of the test below.
TEST(TestProgramEnd, DISABLED_UsesTheSessionBusAndNeverTurnsTheLoop) {
    if (!testing::isChildTestProcess())
        GTEST_SKIP() << "started only by TestProgramEnd.LeavesNothingOfTheSessionBusBehind";
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    // Whether the leak checker finds an object nobody points to any more
    // depends on whether a stale copy of its address survives: in the
    // application's cleared list of posted events, say, until something is
    // posted after it has gone, as happens now and then in a program's last
    // moments. Here it always happens.
    std::atexit([] {
        static QObject late;
        for (int posted = 0; posted < 8; ++posted)
            QCoreApplication::postEvent(&late, new QEvent(QEvent::User));
    });
}

TEST(TestProgramEnd, LeavesNothingOfTheSessionBusBehind) {
#ifndef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "only the address sanitizer's build checks for leaks";
#endif
    TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"),
                                "needs the session bus of scripts/test");
    testing::runTestsInChildProcess(
        QStringLiteral("TestProgramEnd.DISABLED_UsesTheSessionBusAndNeverTurnsTheLoop"),
        QProcessEnvironment::systemEnvironment());
}

} // namespace
} // namespace tovalit
