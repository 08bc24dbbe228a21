#include "platform/fake/in_memory_secret_store.h"
#include "services/security/keychain_store.h"
#include "support/parked_coroutine.h"
#include "support/spawn.h"
#include "tests/support/child_test_process.h"
#include "tests/support/run_task.h"
#include "tests/support/test_session.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QObject>

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>

// How every test program ends (tests/support/test_main.cpp): a test that
// uses the session bus from the GUI thread, as the accessibility bridge of
// every widget test does, and never turns the event loop leaves nothing
// behind for the leak checker; nor does a keyring call's time limit whose
// store went as the test ended.

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

// Run only as the child of the test below.
TEST(TestProgramEnd, DISABLED_EndsAsAKeyringCallsStoreGoes) {
    if (!testing::isChildTestProcess())
        GTEST_SKIP() << "started only by TestProgramEnd.LetsAWaitWhoseOwnerWentEnd";
    const auto secrets = std::make_shared<InMemorySecretStore>();
    secrets->hold();
    // A call whose store went while the keyring held it is given up for
    // good; it was its caller's own task, as an unkept one of the
    // application's is, not a detached one.
    std::optional<KeychainStore> gone(std::in_place, QStringLiteral("test"), secrets);
    const auto givenUp = gone->loadData(QStringLiteral("a"));
    ASSERT_TRUE(testing::waitUntil([&] { return secrets->heldCalls() == 1; }, "the first call"));
    gone.reset();
    ASSERT_TRUE(testing::waitUntil([] { return tovalit::parkedCoroutineCount() == 1; },
                                   "the first call to be given up"));
    ASSERT_TRUE(testing::waitUntil([] { return tovalit::detachedTasksInFlight() == 0; },
                                   "the first call's time limit to end"));

    // The last call is under way, its time limit running, when its store
    // goes with the test: the limit's wait ends with it, at the latest
    // when the program ends.
    std::optional<KeychainStore> last(std::in_place, QStringLiteral("test"), secrets);
    const auto underWay = last->loadData(QStringLiteral("b"));
    ASSERT_TRUE(testing::waitUntil([&] { return secrets->heldCalls() == 1; }, "the last call"));
    testing::processEventsFor(std::chrono::milliseconds(20));
    ASSERT_EQ(tovalit::detachedTasksInFlight(), 1);
    std::atexit([] {
        if (tovalit::detachedTasksInFlight() == 0)
            return;
        std::fprintf(stderr, "%d detached tasks still waited when the program ended\n",
                     tovalit::detachedTasksInFlight());
        std::_Exit(1);
    });
    last.reset();
}

TEST(TestProgramEnd, LetsAWaitWhoseOwnerWentEnd) {
    testing::runTestsInChildProcess(
        QStringLiteral("TestProgramEnd.DISABLED_EndsAsAKeyringCallsStoreGoes"),
        QProcessEnvironment::systemEnvironment());
}

} // namespace
} // namespace tovalit
