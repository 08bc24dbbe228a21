#include "platform/fake/in_memory_defaults_store.h"
#include "services/gateway/gateway_session_service.h"
#include "services/settings/app_configuration_store.h"
#include "support/json_text.h"
#include "tests/support/child_test_process.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/secret_service_session.h"
#include "tests/support/stand_in_http_server.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::RecordedHttpRequest;
using testing::StandInHttpReply;

const QString keychainService = QStringLiteral("cn.pellastrim.tovalit.gateway");
constexpr const char *serverVariable = "TOVALIT_TEST_GATEWAY_URL";

QByteArray lookUpWithSecretTool(const QString &account) {
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("service"), keychainService,
                QStringLiteral("account"), account});
    tool.waitForFinished(10000);
    return tool.readAllStandardOutput();
}

std::unique_ptr<AppConfigurationStore> configurationFor(InMemoryDefaultsStore &defaults,
                                                        const QString &url) {
    return std::make_unique<AppConfigurationStore>(
        defaults,
        AppConfigurationStore::Environment{{QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), url}});
}

// The first run of the application registers the device and keeps the
// session in the desktop's keychain; the next run (another process, which
// has validated nothing yet) refreshes that session instead of registering.
TEST(GatewaySessionOnSecretService, FirstRunRegistersAndTheNextProcessRefreshes) {
    TOVALIT_REQUIRE_SECRET_SERVICE();
    const auto forget = [] {
        const KeychainStore keychain(keychainService);
        testing::runTask(keychain.deleteItem(QStringLiteral("gateway.session")));
        testing::runTask(keychain.deleteItem(QStringLiteral("gateway.device-id")));
    };
    forget();

    testing::StandInHttpServer server;
    server.setHandler([&server](const RecordedHttpRequest &request) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QString kind = request.path().endsWith("/refresh") ? QStringLiteral("refreshed")
                                                                 : QStringLiteral("registered");
        const QString id = kind + QString::number(server.requests().size());
        const GatewaySession session{id,
                                     QStringLiteral("device"),
                                     QStringLiteral("access-") + id,
                                     now.addSecs(3600),
                                     QStringLiteral("refresh-") + id,
                                     now.addDays(30)};
        return StandInHttpReply::json(200, "{\"session\":" + session.toCompactJson() + "}");
    });
    InMemoryDefaultsStore defaults;
    const auto configuration =
        configurationFor(defaults, server.url(QStringLiteral("/")).toString());
    GatewaySessionService service(*configuration, KeychainStore(keychainService));

    const auto registered = testing::runTask(service.gatewaySession());
    ASSERT_TRUE(registered);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].path(), QByteArray("/api/client/register"));
    EXPECT_EQ(lookUpWithSecretTool(QStringLiteral("gateway.session")), registered->toCompactJson());
    const QByteArray deviceID = lookUpWithSecretTool(QStringLiteral("gateway.device-id"));
    EXPECT_EQ(deviceID.size(), 36);
    EXPECT_TRUE(
        server.requests()[0].body.contains(QByteArray("\"deviceId\":\"" + deviceID + "\"")));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(serverVariable), server.url(QStringLiteral("/")).toString());
    ASSERT_TRUE(testing::runTestsInChildProcess(QStringLiteral("GatewaySessionNextProcess.*"),
                                                environment));

    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[1].path(), QByteArray("/api/client/refresh"));
    EXPECT_TRUE(server.requests()[1].body.startsWith(
        QByteArray("{\"refreshToken\":\"" + registered->refreshToken.toUtf8() + "\"")));
    const auto stored = json::parseObject(lookUpWithSecretTool(QStringLiteral("gateway.session")));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->value(QStringLiteral("sessionId")).toString(), QStringLiteral("refreshed2"));
    EXPECT_EQ(lookUpWithSecretTool(QStringLiteral("gateway.device-id")), deviceID)
        << "the device keeps its identity";

    forget();
}

// Run only as the second process of the test above.
TEST(GatewaySessionNextProcess, DISABLED_UsesTheStoredSession) {
    if (!testing::isChildTestProcess())
        GTEST_SKIP() << "started only by GatewaySessionOnSecretService";
    const QString url = qEnvironmentVariable(serverVariable);
    InMemoryDefaultsStore defaults;
    const auto configuration = configurationFor(defaults, url);
    GatewaySessionService service(*configuration, KeychainStore(keychainService));
    const auto session = testing::runTask(service.gatewaySession());
    ASSERT_TRUE(session);
    EXPECT_EQ(session->sessionID, QStringLiteral("refreshed2"));
    EXPECT_EQ(testing::runTask(service.gatewaySession()), session) << "reused once validated";
}

// A desktop with no keyring at all (common under bare window managers):
// on a session bus of its own where nobody owns the Secret Service's name
// and nothing can start it, on one where its start fails, and with no
// session bus at all, the application still signs in, for this run.
TEST(GatewaySessionWithoutAKeyring, SignsInForThisRunOnly) {
    testing::PrivateSessionBus bare;
    testing::PrivateSessionBus failingKeyring({QStringLiteral("org.freedesktop.secrets")});
    ASSERT_TRUE(bare.isRunning());
    ASSERT_TRUE(failingKeyring.isRunning());
    const QTemporaryDir nowhere;
    testing::StandInHttpServer server;
    int registrations = 0;
    server.setHandler([&registrations](const RecordedHttpRequest &) {
        ++registrations;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const GatewaySession session{QStringLiteral("s") + QString::number(registrations),
                                     QStringLiteral("device"),
                                     QStringLiteral("access"),
                                     now.addSecs(3600),
                                     QStringLiteral("refresh"),
                                     now.addDays(30)};
        return StandInHttpReply::json(200, "{\"session\":" + session.toCompactJson() + "}");
    });
    const QStringList addresses{bare.address(), failingKeyring.address(),
                                QStringLiteral("unix:path=") +
                                    nowhere.filePath(QStringLiteral("bus"))};
    for (const QString &address : addresses) {
        SCOPED_TRACE(address.toStdString());
        registrations = 0;
        QProcessEnvironment environment = testing::environmentOnSessionBus(address);
        environment.insert(QLatin1String(serverVariable),
                           server.url(QStringLiteral("/")).toString());
        ASSERT_TRUE(testing::runTestsInChildProcess(QStringLiteral("GatewaySessionOnAPrivateBus.*"),
                                                    environment));
        EXPECT_EQ(registrations, 2) << "once per start, each then reused";
    }
}

TEST(GatewaySessionOnAPrivateBus, DISABLED_KeepsTheSessionInMemory) {
    if (!testing::isChildTestProcess())
        GTEST_SKIP() << "started only by GatewaySessionWithoutAKeyring";
    InMemoryDefaultsStore defaults;
    const auto configuration = configurationFor(defaults, qEnvironmentVariable(serverVariable));
    for (const QString &start : {QStringLiteral("s1"), QStringLiteral("s2")}) {
        GatewaySessionService service(*configuration, KeychainStore(keychainService));
        int notices = 0;
        service.setOnSessionKeptInMemory([&notices] { ++notices; });
        const auto session = testing::runTask(service.gatewaySession());
        ASSERT_TRUE(session);
        EXPECT_EQ(session->sessionID, start);
        EXPECT_EQ(testing::runTask(service.gatewaySession()), session);
        EXPECT_EQ(notices, 1);
    }
}

} // namespace
} // namespace tovalit
