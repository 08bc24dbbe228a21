#include "platform/linux/libsecret_secret_store.h"
#include "services/security/keychain_store.h"
#include "tests/support/child_test_process.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/secret_service_session.h"
#include "tests/support/stalled_bus_name.h"
#include "tests/support/task_in_flight.h"

#include <QProcess>
#include <QUuid>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::runTask;

// How many items the desktop's own tool finds for the pair.
int itemsFoundBySecretTool(const QString &service, const QString &account) {
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("service"),
                service, QStringLiteral("account"), account});
    if (!tool.waitForFinished(10000))
        return -1;
    const QByteArray listing = tool.readAllStandardOutput() + tool.readAllStandardError();
    return int(listing.count("attribute.account = "));
}

class KeychainStoreOnSecretService : public ::testing::Test {
protected:
    void SetUp() override { TOVALIT_REQUIRE_SECRET_SERVICE(); }
    void TearDown() override {
        if (testing::secretServiceAvailable()) {
            for (const char *account : {"gateway.session", "gateway.device-id"})
                runTask(store.deleteItem(QLatin1String(account)));
        }
    }

    // A service of its own per test, so runs never see each other's items.
    const QString service =
        QStringLiteral("cn.pellastrim.tovalit.test-") + QUuid::createUuid().toString(QUuid::Id128);
    KeychainStore store{service};
};

TEST_F(KeychainStoreOnSecretService, SaveLoadReplaceAndDelete) {
    const QString account = QStringLiteral("gateway.session");
    EXPECT_EQ(runTask(store.loadData(account)), std::nullopt) << "never saved: nothing, no error";

    const QByteArray first("{\"a\":1}\0binary\xff", 15);
    runTask(store.saveData(first, account));
    EXPECT_EQ(runTask(store.loadData(account)), first) << "bytes come back exactly";

    runTask(store.saveData(QByteArray("second"), account));
    EXPECT_EQ(runTask(store.loadData(account)), QByteArray("second"));
    EXPECT_EQ(itemsFoundBySecretTool(service, account), 1) << "saving again replaces the item";

    const KeychainStore another(service);
    EXPECT_EQ(runTask(another.loadData(QStringLiteral("gateway.device-id"))), std::nullopt)
        << "accounts are separate";

    runTask(store.deleteItem(account));
    EXPECT_EQ(runTask(store.loadData(account)), std::nullopt);
    EXPECT_EQ(itemsFoundBySecretTool(service, account), 0);
    EXPECT_NO_THROW(runTask(store.deleteItem(account))) << "deleting what is not there is no error";
}

// A keyring that is there but never answers (a stand-in owns the Secret
// Service's name on a session bus of its own and takes every call without a
// reply): each call ends at its limit while the GUI thread goes on, the
// keyring is not replaced by memory, and the store can go while a call
// still blocks.
TEST(KeychainStoreOnASilentSecretService, EachCallEndsAtItsLimitAndNothingWaitsForIt) {
    testing::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    testing::StalledBusName silent(QStringLiteral("org.freedesktop.secrets"),
                                   testing::environmentOnSessionBus(bus.address()));
    ASSERT_TRUE(silent.waitUntilOwned());
    EXPECT_TRUE(testing::runTestsInChildProcess(QStringLiteral("KeychainStoreOnAPrivateBus.*"),
                                                testing::environmentOnSessionBus(bus.address()),
                                                std::chrono::seconds(120)));
}

TEST(KeychainStoreOnAPrivateBus, DISABLED_ASilentKeyringEndsTheCallAtItsLimit) {
    if (!testing::isChildTestProcess())
        GTEST_SKIP() << "started only by KeychainStoreOnASilentSecretService";
    testing::ManualSleeper sleeps;
    auto store =
        std::make_unique<KeychainStore>(QStringLiteral("cn.pellastrim.tovalit.test"),
                                        std::make_shared<LibsecretSecretStore>(), sleeps.sleeper());
    auto call = testing::startTask(store->loadData(QStringLiteral("gateway.session")));
    ASSERT_TRUE(testing::waitUntil([&] { return sleeps.count() == 1; }, "the call's limit"));
    testing::processEventsFor(std::chrono::milliseconds(200));
    EXPECT_FALSE(call->done) << "the keyring never answers";

    sleeps.wakeLast();
    ASSERT_TRUE(testing::waitUntil([&] { return call->done; }, "the call to end at its limit"));
    try {
        std::rethrow_exception(call->error);
    } catch (const KeychainStoreError &error) {
        EXPECT_EQ(error.kind(), KeychainStoreError::Kind::noAnswer) << error.what();
    }
    EXPECT_FALSE(store->keepsItemsInMemory());

    // The application quits with another call on its way to the keyring.
    auto another = testing::startTask(store->saveData("x", QStringLiteral("gateway.session")));
    store.reset();
    testing::processEventsFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(another->done);
}

} // namespace
} // namespace tovalit
