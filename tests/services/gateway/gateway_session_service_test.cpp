#include "platform/fake/in_memory_bundle_values.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "platform/fake/in_memory_secret_store.h"
#include "services/gateway/gateway_client_error.h"
#include "services/gateway/gateway_session_service.h"
#include "services/settings/app_configuration_store.h"
#include "support/iso8601.h"
#include "support/json_text.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/stand_in_http_server.h"
#include "tests/support/task_in_flight.h"

#include <QRegularExpression>
#include <QSysInfo>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::RecordedHttpRequest;
using testing::runTask;
using testing::StandInHttpReply;
using Operation = InMemorySecretStore::Operation;

const QString keychainService = QStringLiteral("cn.pellastrim.tovalit.gateway");

class GatewaySessionServiceTest : public ::testing::Test {
protected:
    void TearDown() override { secrets->release(); }

    void SetUp() override {
        server.setHandler([this](const RecordedHttpRequest &request) { return answer(request); });
        configureGateway(server.url(QStringLiteral("/gw/")).toString());
    }

    void configureGateway(const QString &baseURL) {
        configuration = std::make_unique<AppConfigurationStore>(
            defaults, AppConfigurationStore::Environment{
                          {QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), baseURL}});
    }

    std::unique_ptr<GatewaySessionService> makeService() {
        return std::make_unique<GatewaySessionService>(
            *configuration, KeychainStore(keychainService, secrets, keyringSleeps.sleeper()),
            &bundle, [this] { return now; }, GatewaySessionService::defaultClientFactory());
    }

    StandInHttpReply answer(const RecordedHttpRequest &request) {
        if (!failures.empty()) {
            StandInHttpReply reply = failures.front();
            failures.pop_front();
            return reply;
        }
        const bool refresh = request.path().endsWith("/refresh");
        const QString id =
            (refresh ? QStringLiteral("refreshed-") : QStringLiteral("registered-")) +
            QString::number(server.requests().size());
        const GatewaySession session{id,
                                     QStringLiteral("device"),
                                     QStringLiteral("access-") + id,
                                     now.addSecs(accessLifetime),
                                     QStringLiteral("refresh-") + id,
                                     now.addSecs(refreshLifetime)};
        return StandInHttpReply::json(200, "{\"session\":" + session.toCompactJson() + "}");
    }

    GatewaySession session(const QString &id, qint64 accessLeft, qint64 refreshLeft) const {
        return {id,
                QStringLiteral("device"),
                QStringLiteral("access-") + id,
                now.addSecs(accessLeft),
                QStringLiteral("refresh-") + id,
                now.addSecs(refreshLeft)};
    }

    void storeInKeychain(const GatewaySession &stored) {
        secrets->save(keychainService, QStringLiteral("gateway.session"), stored.toCompactJson());
    }

    std::optional<GatewaySession> keychainSession() const {
        const auto data = secrets->peek(keychainService, QStringLiteral("gateway.session"));
        const auto object = data ? json::parseObject(*data) : std::nullopt;
        return object ? GatewaySession::fromJson(*object) : std::nullopt;
    }

    QStringList paths() const {
        QStringList result;
        for (const auto &request : server.requests())
            result << QString::fromUtf8(request.path());
        return result;
    }

    testing::StandInHttpServer server;
    InMemoryDefaultsStore defaults;
    InMemoryBundleValues bundle;
    std::shared_ptr<InMemorySecretStore> secrets = std::make_shared<InMemorySecretStore>();
    testing::ManualSleeper keyringSleeps;
    std::unique_ptr<AppConfigurationStore> configuration;
    QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
    qint64 accessLifetime = 3600;
    qint64 refreshLifetime = 30 * 86400;
    std::deque<StandInHttpReply> failures;
};

const QString registerPath = QStringLiteral("/gw/api/client/register");
const QString refreshPath = QStringLiteral("/gw/api/client/refresh");

TEST_F(GatewaySessionServiceTest, WithoutAGatewayNothingIsAskedOrTouched) {
    configureGateway(QStringLiteral("   "));
    auto service = makeService();
    EXPECT_FALSE(service->isAvailable());
    EXPECT_FALSE(runTask(service->gatewaySession()));
    EXPECT_FALSE(runTask(service->speechConfiguration(QStringLiteral("zh-CN"))));
    EXPECT_FALSE(runTask(service->formatterConfiguration()));
    EXPECT_FALSE(runTask(service->historyExtractorConfiguration()));
    EXPECT_FALSE(runTask(service->lexiconSyncConfiguration()));
    EXPECT_EQ(secrets->callCount(Operation::load), 0);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(GatewaySessionServiceTest, FirstRunRegistersStoresAndThenReusesWithoutRequests) {
    auto service = makeService();
    EXPECT_TRUE(service->isAvailable());
    const auto first = runTask(service->gatewaySession());
    ASSERT_TRUE(first);
    ASSERT_EQ(paths(), QStringList{registerPath});

    const auto deviceID = secrets->peek(keychainService, QStringLiteral("gateway.device-id"));
    ASSERT_TRUE(deviceID);
    static const QRegularExpression lowerUuid(
        QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    EXPECT_TRUE(lowerUuid.match(QString::fromUtf8(*deviceID)).hasMatch()) << deviceID->constData();
    EXPECT_EQ(server.requests()[0].body,
              QByteArray(R"({"deviceId":")" + *deviceID +
                         R"(","product":"Tovalit","platform":"macOS",)"
                         R"("platformVersion":")" +
                         QSysInfo::prettyProductName().toUtf8() +
                         R"(","appVersion":"1.0.0","buildNumber":"1","locale":"zh-CN"})"));
    EXPECT_EQ(secrets->peek(keychainService, QStringLiteral("gateway.session")),
              first->toCompactJson());
    EXPECT_EQ(keychainSession(), first);

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(runTask(service->gatewaySession()), first);
    EXPECT_EQ(server.requests().size(), 1u) << "a validated session is reused as it is";
}

TEST_F(GatewaySessionServiceTest, ANewProcessRefreshesOnceAndReusesUntilSixtySecondsAreLeft) {
    storeInKeychain(session(QStringLiteral("old"), 3600, 30 * 86400));
    bundle.setPropertyList(QStringLiteral("Info"),
                           {{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("2.3.4")},
                            {QStringLiteral("CFBundleVersion"), QStringLiteral("77")}});
    defaults.setString(QStringLiteral("vellup_transcriber.preferredLocaleIdentifier"),
                       QStringLiteral("en-US"));
    configureGateway(server.url(QStringLiteral("/gw")).toString());
    auto service = makeService();

    const auto refreshed = runTask(service->gatewaySession());
    ASSERT_EQ(paths(), QStringList{refreshPath});
    EXPECT_EQ(
        server.requests()[0].body,
        QByteArray(
            R"({"refreshToken":"refresh-old","appVersion":"2.3.4","buildNumber":"77","locale":"en-US",)"
            R"("platformVersion":")" +
            QSysInfo::prettyProductName().toUtf8() + R"("})"));
    EXPECT_EQ(keychainSession(), refreshed);
    EXPECT_FALSE(secrets->peek(keychainService, QStringLiteral("gateway.device-id")))
        << "a refresh needs no device id";

    now = now.addSecs(3600 - 61);
    EXPECT_EQ(runTask(service->gatewaySession()), refreshed) << "61 s left is still usable";
    EXPECT_EQ(server.requests().size(), 1u);
    now = now.addSecs(1);
    const auto renewed = runTask(service->gatewaySession());
    EXPECT_EQ(paths(), (QStringList{refreshPath, refreshPath})) << "exactly 60 s left is not";
    EXPECT_NE(renewed, refreshed);
}

TEST_F(GatewaySessionServiceTest, ARefreshTokenWithExactly120SecondsIsNotRefreshed) {
    const GatewaySession stored = session(QStringLiteral("short"), 600, 120);
    storeInKeychain(stored);
    auto service = makeService();
    EXPECT_EQ(runTask(service->gatewaySession()), stored);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(runTask(service->gatewaySession()), stored);
    EXPECT_TRUE(server.requests().empty()) << "taken over and validated without a request";

    storeInKeychain(session(QStringLiteral("longer"), 600, 121));
    auto another = makeService();
    runTask(another->gatewaySession());
    EXPECT_EQ(paths(), QStringList{refreshPath});
}

TEST_F(GatewaySessionServiceTest, AFailedRefreshKeepsAUsableTokenForNowAndRegistersNextTime) {
    const GatewaySession stored = session(QStringLiteral("old"), 600, 86400);
    storeInKeychain(stored);
    secrets->save(keychainService, QStringLiteral("gateway.device-id"), "  spaced-device ");
    failures.push_back(StandInHttpReply::json(401, R"({"message":"invalid_token"})"));
    auto service = makeService();

    EXPECT_EQ(runTask(service->gatewaySession()), stored);
    EXPECT_FALSE(keychainSession()) << "the rejected session leaves the keychain";
    EXPECT_EQ(paths(), QStringList{refreshPath});

    const auto registered = runTask(service->gatewaySession());
    EXPECT_EQ(paths(), (QStringList{refreshPath, registerPath}));
    EXPECT_TRUE(server.requests()[1].body.startsWith(R"({"deviceId":"  spaced-device ",)"))
        << "the stored identifier is sent exactly as stored";
    EXPECT_EQ(keychainSession(), registered);
}

TEST_F(GatewaySessionServiceTest, AFailedRefreshWithAnExpiringTokenRegistersInTheSameCall) {
    storeInKeychain(session(QStringLiteral("old"), 60, 86400));
    secrets->save(keychainService, QStringLiteral("gateway.device-id"), " \n");
    failures.push_back(StandInHttpReply::dropped());
    failures.push_back(StandInHttpReply::dropped());
    auto service = makeService();
    const auto registered = runTask(service->gatewaySession());
    ASSERT_TRUE(registered);
    EXPECT_EQ(paths().last(), registerPath);
    EXPECT_EQ(keychainSession(), registered);
    const auto deviceID = secrets->peek(keychainService, QStringLiteral("gateway.device-id"));
    ASSERT_TRUE(deviceID);
    EXPECT_EQ(deviceID->size(), 36) << "a blank identifier is replaced";
    EXPECT_TRUE(server.requests().back().body.contains(*deviceID));
}

TEST_F(GatewaySessionServiceTest, ASessionThatCannotBeStoredIsNotUsed) {
    secrets->setFailure(Operation::save, 7);
    auto service = makeService();
    EXPECT_THROW(runTask(service->gatewaySession()), KeychainStoreError);
    EXPECT_TRUE(server.requests().empty()) << "the device id could not be saved: nothing was sent";

    secrets->setFailure(Operation::save, std::nullopt);
    secrets->save(keychainService, QStringLiteral("gateway.device-id"), "device");
    secrets->setFailure(Operation::save, 7);
    EXPECT_THROW(runTask(service->gatewaySession()), KeychainStoreError);
    EXPECT_EQ(paths(), QStringList{registerPath});

    secrets->setFailure(Operation::save, std::nullopt);
    runTask(service->gatewaySession());
    EXPECT_EQ(paths(), (QStringList{registerPath, registerPath}))
        << "nothing was validated, so it registers again";
}

TEST_F(GatewaySessionServiceTest, AnUnreadableStoredSessionIsDroppedButReadErrorsAreNot) {
    secrets->save(keychainService, QStringLiteral("gateway.session"), "{\"sessionId\":");
    secrets->setFailure(Operation::remove, 3);
    auto service = makeService();
    const auto registered = runTask(service->gatewaySession());
    EXPECT_EQ(paths(), QStringList{registerPath}) << "a failed delete of the bad item is ignored";
    EXPECT_EQ(keychainSession(), registered);

    secrets->setFailure(Operation::load, 4);
    try {
        runTask(makeService()->gatewaySession());
        FAIL() << "a keychain read error must reach the caller";
    } catch (const KeychainStoreError &error) {
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("密钥环操作失败（4）：injected failure。请确认桌面密钥环（GNOME "
                                 "密钥环或 KWallet）已运行并已解锁。"));
    }
}

TEST_F(GatewaySessionServiceTest, RegistrationFailuresReachTheCaller) {
    failures.push_back(StandInHttpReply::json(403, R"({"message":"设备已停用"})"));
    auto service = makeService();
    try {
        runTask(service->gatewaySession());
        FAIL() << "expected a gateway error";
    } catch (const GatewayClientError &error) {
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("网关请求失败（403）：设备已停用"));
    }
    EXPECT_FALSE(keychainSession());
}

TEST_F(GatewaySessionServiceTest, ConfigurationsPointAtTheProxyPaths) {
    auto service = makeService();
    const auto speech = runTask(service->speechConfiguration(QStringLiteral("en-US")));
    ASSERT_TRUE(speech);
    const QString token = keychainSession()->accessToken;
    const QUrl base = server.url(QStringLiteral("/gw/"));
    EXPECT_EQ(*speech, (VellupSpeechConfiguration{QString(), QString(), QString(), QString(),
                                                  QStringLiteral("en-US"), base, token}));
    EXPECT_TRUE(speech->usesGateway());

    const auto formatter = runTask(service->formatterConfiguration());
    ASSERT_TRUE(formatter);
    EXPECT_EQ(formatter->chatURL, server.url(QStringLiteral("/gw/api/proxy/format")));
    EXPECT_EQ(formatter->model, QStringLiteral("vellup-seed-1-6-flash-250828"));
    EXPECT_EQ(formatter->secretKey, token);
    EXPECT_TRUE(formatter->appID.isEmpty() && formatter->agentID.isEmpty());
    EXPECT_EQ(runTask(service->historyExtractorConfiguration()), formatter);

    const auto lexicon = runTask(service->lexiconSyncConfiguration());
    ASSERT_TRUE(lexicon);
    EXPECT_EQ(*lexicon, (GatewayLexiconSyncConfiguration{
                            server.url(QStringLiteral("/gw/api/proxy/lexicon-sync")), token}));
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(GatewaySessionServiceTest, InvalidationForgetsTheSessionButKeepsTheDevice) {
    auto service = makeService();
    runTask(service->invalidateGatewaySession());
    secrets->setFailure(Operation::remove, 5);
    runTask(service->invalidateGatewaySession());
    secrets->setFailure(Operation::remove, std::nullopt);

    runTask(service->gatewaySession());
    const auto deviceID = secrets->peek(keychainService, QStringLiteral("gateway.device-id"));
    runTask(service->invalidateGatewaySession());
    EXPECT_FALSE(keychainSession());
    runTask(service->gatewaySession());
    EXPECT_EQ(paths(), (QStringList{registerPath, registerPath}));
    EXPECT_EQ(secrets->peek(keychainService, QStringLiteral("gateway.device-id")), deviceID);
}

TEST_F(GatewaySessionServiceTest, ValidationIsPerGatewayAddress) {
    auto service = makeService();
    runTask(service->gatewaySession());
    configureGateway(server.url(QStringLiteral("/other/")).toString());
    auto sameProcess = std::make_unique<GatewaySessionService>(
        *configuration, KeychainStore(keychainService, secrets), &bundle, [this] { return now; });
    runTask(sameProcess->gatewaySession());
    EXPECT_EQ(paths(), (QStringList{registerPath, QStringLiteral("/other/api/client/refresh")}));
}

// The keyring is asked off the GUI thread: while its unlock prompt waits
// for the user, the session waits with it and the window goes on.
TEST_F(GatewaySessionServiceTest, AKeyringWaitingForItsUserHoldsTheSessionNotTheWindow) {
    secrets->hold();
    auto service = makeService();
    auto session = testing::startTask(service->gatewaySession());
    ASSERT_TRUE(testing::waitUntil([&] { return secrets->heldCalls() == 1; },
                                   "the session read waiting on the keyring"));
    EXPECT_FALSE(session->done);
    EXPECT_TRUE(server.requests().empty());

    secrets->release();
    ASSERT_TRUE(testing::waitUntil([&] { return session->done; }, "the session"));
    ASSERT_FALSE(session->error);
    EXPECT_EQ(paths(), QStringList{registerPath});
    EXPECT_EQ(keychainSession(), *session->value);
    EXPECT_EQ(secrets->callsOnGuiThread(), 0) << "no keyring call on the GUI thread";
}

TEST_F(GatewaySessionServiceTest, AKeyringThatNeverAnswersEndsTheSessionCallWithItsMessage) {
    secrets->hold(true);
    auto service = makeService();
    auto session = testing::startTask(service->gatewaySession());
    ASSERT_TRUE(testing::waitUntil([&] { return keyringSleeps.count() == 1; },
                                   "the keyring's answer limit"));
    keyringSleeps.wakeLast();
    ASSERT_TRUE(testing::waitUntil([&] { return session->done; }, "the session call to end"));
    try {
        std::rethrow_exception(session->error);
    } catch (const KeychainStoreError &error) {
        EXPECT_EQ(error.kind(), KeychainStoreError::Kind::noAnswer);
        EXPECT_TRUE(
            error.localizedDescription().startsWith(QStringLiteral("密钥环 30 秒内没有应答")))
            << error.what();
    }
    EXPECT_TRUE(server.requests().empty()) << "nothing is registered over a silent keyring";
}

// A desktop without any keyring: dictation still gets its session, kept in
// memory for this run, and the user is told once. The next start knows
// nothing of it and registers again.
TEST_F(GatewaySessionServiceTest, WithoutAKeyringTheSessionLivesInMemoryForThisRun) {
    secrets->setNoService(true);
    auto service = makeService();
    int notices = 0;
    service->setOnSessionKeptInMemory([&notices] { ++notices; });
    const auto first = runTask(service->gatewaySession());
    ASSERT_TRUE(first);
    EXPECT_EQ(runTask(service->gatewaySession()), first);
    EXPECT_EQ(paths(), QStringList{registerPath}) << "registered once, then reused";
    EXPECT_EQ(runTask(service->lexiconSyncConfiguration())->accessToken, first->accessToken);
    EXPECT_EQ(notices, 1);

    auto nextRun = makeService();
    const auto second = runTask(nextRun->gatewaySession());
    EXPECT_EQ(paths(), (QStringList{registerPath, registerPath}));
    EXPECT_NE(server.requests()[0].body.left(50), server.requests()[1].body.left(50))
        << "a device id kept in memory is not the next run's";
    EXPECT_EQ(secrets->itemCount(), 0);
}

} // namespace
} // namespace tovalit
