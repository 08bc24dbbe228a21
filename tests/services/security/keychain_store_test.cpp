#include "platform/fake/in_memory_secret_store.h"
#include "services/security/keychain_store.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(KeychainStore, StoreFailuresSurfaceWithTheirStatus) {
    auto secrets = std::make_shared<InMemorySecretStore>();
    const KeychainStore store(QStringLiteral("s"), secrets);
    secrets->setFailure(InMemorySecretStore::Operation::load, 9);
    try {
        testing::runTask(store.loadData(QStringLiteral("a")));
        FAIL() << "expected a failure";
    } catch (const KeychainStoreError &error) {
        EXPECT_EQ(error.kind(), KeychainStoreError::Kind::operationFailed);
        EXPECT_EQ(error.status(), 9);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("钥匙串操作失败（9）。"));
    }
    secrets->setFailure(InMemorySecretStore::Operation::remove, -25308);
    try {
        testing::runTask(store.deleteItem(QStringLiteral("a")));
        FAIL() << "expected a failure";
    } catch (const KeychainStoreError &error) {
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("钥匙串操作失败（-25308）。"));
    }
    EXPECT_EQ(KeychainStoreError::unexpectedData().localizedDescription(),
              QStringLiteral("钥匙串返回了无法解析的数据。"));
}

} // namespace
} // namespace tovalit
