#include "services/security/keychain_store.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/secret_service_session.h"

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

} // namespace
} // namespace tovalit
