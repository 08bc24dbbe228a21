#include "platform/fake/in_memory_defaults_store.h"
#include "services/gateway/gateway_session_service.h"
#include "services/settings/app_configuration_store.h"
#include "support/json_text.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/secret_service_session.h"
#include "tests/support/stand_in_http_server.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::RecordedHttpRequest;
using testing::StandInHttpReply;

const QString keychainService = QStringLiteral("cn.pellastrim.tovalit.gateway");
constexpr const char *childVariable = "TOVALIT_TEST_GATEWAY_CHILD_URL";

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

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(childVariable), server.url(QStringLiteral("/")).toString());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=GatewaySessionNextProcess.*"),
                 QStringLiteral("--gtest_also_run_disabled_tests")});
    // The stand-in server answers from this event loop, so keep it turning.
    ASSERT_TRUE(testing::waitUntil([&] { return child.state() == QProcess::NotRunning; },
                                   "the second process", std::chrono::seconds(60)));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();

    ASSERT_EQ(server.requests().size(), 2u) << output.constData();
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
    const QString url = qEnvironmentVariable(childVariable);
    if (url.isEmpty())
        GTEST_SKIP() << "started only by GatewaySessionOnSecretService";
    InMemoryDefaultsStore defaults;
    const auto configuration = configurationFor(defaults, url);
    GatewaySessionService service(*configuration, KeychainStore(keychainService));
    const auto session = testing::runTask(service.gatewaySession());
    ASSERT_TRUE(session);
    EXPECT_EQ(session->sessionID, QStringLiteral("refreshed2"));
    EXPECT_EQ(testing::runTask(service.gatewaySession()), session) << "reused once validated";
}

} // namespace
} // namespace tovalit
