#include "platform/fake/in_memory_secret_store.h"
#include "services/security/keychain_store.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/task_in_flight.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Operation = InMemorySecretStore::Operation;
using testing::runTask;
using testing::startTask;
using testing::waitUntil;

const QString advice = QStringLiteral("请确认桌面密钥环（GNOME 密钥环或 KWallet）已运行并已解锁。");

KeychainStoreError errorOf(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const KeychainStoreError &keychainError) {
        return keychainError;
    }
}

class KeychainStoreTest : public ::testing::Test {
protected:
    std::shared_ptr<InMemorySecretStore> secrets = std::make_shared<InMemorySecretStore>();
    testing::ManualSleeper sleeps;
    std::unique_ptr<KeychainStore> store =
        std::make_unique<KeychainStore>(QStringLiteral("s"), secrets, sleeps.sleeper());

    void TearDown() override { secrets->release(); }
};

TEST_F(KeychainStoreTest, FailuresSurfaceWithTheirStatusAndTheKeyringsOwnWords) {
    secrets->setFailure(Operation::load, 9);
    try {
        runTask(store->loadData(QStringLiteral("a")));
        FAIL() << "expected a failure";
    } catch (const KeychainStoreError &error) {
        EXPECT_EQ(error.kind(), KeychainStoreError::Kind::operationFailed);
        EXPECT_EQ(error.status(), 9);
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("密钥环操作失败（9）：injected failure。") + advice);
    }
    secrets->setFailure(Operation::remove, -25308);
    try {
        runTask(store->deleteItem(QStringLiteral("a")));
        FAIL() << "expected a failure";
    } catch (const KeychainStoreError &error) {
        EXPECT_EQ(error.status(), -25308);
    }
    EXPECT_EQ(KeychainStoreError::operationFailed(24, QStringLiteral("Timeout was reached."))
                  .localizedDescription(),
              QStringLiteral("密钥环操作失败（24）：Timeout was reached。") + advice);
    EXPECT_EQ(KeychainStoreError::operationFailed(3).localizedDescription(),
              QStringLiteral("密钥环操作失败（3）。") + advice);
    EXPECT_EQ(KeychainStoreError::unexpectedData().localizedDescription(),
              QStringLiteral("密钥环返回了无法解析的数据。"));
    EXPECT_EQ(secrets->callsOnGuiThread(), 0);
}

// The keyring is asked on a thread of its own; while it waits (an unlock
// prompt), the GUI thread goes on, and the call ends at the limit with a
// message that says what to do. Nothing is kept in memory instead.
TEST_F(KeychainStoreTest, AKeyringThatDoesNotAnswerEndsTheCallAtTheLimitWithoutStoppingTheWindow) {
    runTask(store->saveData("kept", QStringLiteral("a")));
    secrets->hold();
    auto call = startTask(store->loadData(QStringLiteral("a")));
    ASSERT_TRUE(waitUntil(
        [&] {
            return secrets->heldCalls() == 1 && sleeps.count() > 0 && sleeps.last().isPending();
        },
        "the call waiting on the keyring"));
    EXPECT_FALSE(call->done);
    EXPECT_EQ(sleeps.last().seconds, 30);

    sleeps.wakeLast();
    ASSERT_TRUE(waitUntil([&] { return call->done; }, "the call to end at its limit"));
    ASSERT_TRUE(call->error);
    const KeychainStoreError error = errorOf(call->error);
    EXPECT_EQ(error.kind(), KeychainStoreError::Kind::noAnswer);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("密钥环 30 秒内没有应答。") + advice);
    EXPECT_TRUE(waitUntil([&] { return secrets->heldCalls() == 0; },
                          "the keyring to be asked to drop the call"));
    EXPECT_FALSE(store->keepsItemsInMemory()) << "a keyring that is there is not replaced";

    // Once unlocked, the next call is answered by the keyring itself.
    secrets->release();
    auto next = startTask(store->loadData(QStringLiteral("a")));
    ASSERT_TRUE(waitUntil([&] { return next->done; }, "the next call"));
    EXPECT_EQ(next->value, std::optional<std::optional<QByteArray>>(QByteArray("kept")));
    EXPECT_TRUE(waitUntil(
        [&] {
            for (std::size_t i = 0; i < sleeps.count(); ++i) {
                if (sleeps.at(i).isPending())
                    return false;
            }
            return true;
        },
        "every answered call's limit to stop"));
    EXPECT_EQ(secrets->callsOnGuiThread(), 0);
}

TEST_F(KeychainStoreTest, WithoutAnyKeyringItemsLiveInMemoryForThisRunAndTheUserIsToldOnce) {
    int notices = 0;
    store->setOnKeptInMemory([&notices] { ++notices; });
    secrets->setNoService(true);
    EXPECT_EQ(runTask(store->loadData(QStringLiteral("a"))), std::nullopt);
    EXPECT_TRUE(store->keepsItemsInMemory());
    runTask(store->saveData("one", QStringLiteral("a")));
    runTask(store->saveData("two", QStringLiteral("b")));
    EXPECT_EQ(runTask(store->loadData(QStringLiteral("a"))), QByteArray("one"));
    runTask(store->deleteItem(QStringLiteral("a")));
    EXPECT_EQ(runTask(store->loadData(QStringLiteral("a"))), std::nullopt);
    EXPECT_EQ(runTask(store->loadData(QStringLiteral("b"))), QByteArray("two"));
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(secrets->callCount(Operation::load), 1) << "the missing keyring is asked once";

    // The next start asks the desktop again and finds nothing kept.
    KeychainStore nextRun(QStringLiteral("s"), secrets, sleeps.sleeper());
    EXPECT_EQ(runTask(nextRun.loadData(QStringLiteral("b"))), std::nullopt);
}

// The application quits while a keyring call blocks for good: the store
// goes at once, and whatever awaited the call is never resumed into an
// owner that is gone.
TEST_F(KeychainStoreTest, QuittingDoesNotWaitForAKeyringCallThatNeverReturns) {
    secrets->hold(true);
    auto call = startTask(store->loadData(QStringLiteral("a")));
    ASSERT_TRUE(waitUntil([&] { return secrets->heldCalls() == 1; }, "the blocked call"));
    store.reset();
    EXPECT_EQ(secrets->heldCalls(), 1) << "the keyring still holds the call";
    secrets->release();
    testing::processEventsFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(call->done) << "nothing is resumed after the store went";
}

} // namespace
} // namespace tovalit
