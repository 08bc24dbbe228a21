// Dictation over the real gateway session service while the desktop's
// keyring waits for its user, never answers, or is not there at all.

#include "platform/fake/in_memory_secret_store.h"
#include "services/gateway/gateway_session.h"
#include "services/gateway/gateway_session_service.h"
#include "services/security/keychain_store.h"
#include "tests/state/view_model_harness.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/stand_in_http_server.h"
#include "tests/support/task_in_flight.h"

#include <QSignalSpy>

namespace tovalit {
namespace {

using namespace testing;

class KeyringDictationTest : public ViewModelTest {
protected:
    KeyringDictationTest() {
        gatewayServer.setHandler([](const RecordedHttpRequest &) {
            const QDateTime now = QDateTime::currentDateTimeUtc();
            const GatewaySession session{QStringLiteral("s-1"),       QStringLiteral("device"),
                                         QStringLiteral("access-1"),  now.addSecs(3600),
                                         QStringLiteral("refresh-1"), now.addDays(30)};
            return StandInHttpReply::json(200, "{\"session\":" + session.toCompactJson() + "}");
        });
        store = std::make_unique<AppConfigurationStore>(
            defaults, Environment{{QStringLiteral("TOVALIT_GATEWAY_BASE_URL"),
                                   gatewayServer.url(QStringLiteral("/")).toString()}});
        adjustDependencies = [this](TranscriberViewModel::Dependencies &d) {
            d.gatewaySessionService = std::make_shared<GatewaySessionService>(
                *store, KeychainStore(QStringLiteral("cn.pellastrim.tovalit.gateway"), secrets,
                                      keyringSleeps.sleeper()));
        };
    }
    ~KeyringDictationTest() override { secrets->release(); }

    StandInHttpServer gatewayServer;
    std::shared_ptr<InMemorySecretStore> secrets = std::make_shared<InMemorySecretStore>();
    ManualSleeper keyringSleeps;
};

TEST_F(KeyringDictationTest, ADictationWaitsForTheKeyringWithTheWindowFreeThenSaysWhatToDo) {
    secrets->hold(true);
    makeViewModel();
    auto pressing = startTask(viewModel->toggleRecording());
    ASSERT_TRUE(waitUntil(
        [&] {
            return secrets->heldCalls() == 1 && keyringSleeps.count() > 0 &&
                   keyringSleeps.last().isPending();
        },
        "the session read waiting on the keyring"));
    EXPECT_EQ(viewModel->recordingState(), RecordingState::requestingPermission());
    // The hotkey still answers at once: a press during the start is let go.
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::requestingPermission());
    EXPECT_FALSE(pressing->done);

    keyringSleeps.wakeLast();
    ASSERT_TRUE(waitUntil([&] { return pressing->done; }, "the start to end"));
    EXPECT_EQ(
        viewModel->recordingState(),
        RecordingState::failed(QStringLiteral(
            "密钥环 30 秒内没有应答。请确认桌面密钥环（GNOME 密钥环或 KWallet）已运行并已解锁。")));
    EXPECT_TRUE(transcribers.empty());
    EXPECT_TRUE(gatewayServer.requests().empty());
    EXPECT_EQ(secrets->callsOnGuiThread(), 0);
}

// The application quits while a lexicon sync waits on the keyring for the
// gateway session; the keyring answers later, while the event loop still
// runs. The sync's work holds on to the session service, but must not
// carry on for a controller, and settings, that are gone.
TEST_F(KeyringDictationTest, AKeyringAnswerAfterQuittingResumesNothing) {
    makeViewModel();
    settle();
    secrets->hold(true);
    viewModel->saveManualLexiconEntry(std::nullopt, PersonalLexiconEntryKind::hotword, std::nullopt,
                                      QStringLiteral("星图"), true, 0, std::nullopt, std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return secrets->heldCalls() == 1; },
                          "the sync's session read waiting on the keyring"));
    viewModel.reset();

    secrets->release();
    processEventsFor(std::chrono::milliseconds(200));
    EXPECT_TRUE(gatewayServer.requests().empty()) << "nothing went on to sign in";
}

TEST_F(KeyringDictationTest, WithoutAKeyringDictationWorksAndTheUserIsToldOnce) {
    secrets->setNoService(true);
    makeViewModel();
    QSignalSpy toasts(viewModel.get(), &TranscriberViewModel::appToastChanged);
    dictate(QStringLiteral("第一句"));
    settle();
    EXPECT_EQ(viewModel->finalTranscript(), QStringLiteral("第一句"));
    ASSERT_TRUE(viewModel->appToast());
    EXPECT_EQ(viewModel->appToast()->message,
              QStringLiteral("没有找到桌面密钥环（Secret Service），登录状态只保留到退出 "
                             "Tovalit，下次启动会重新登录。"));

    dictate(QStringLiteral("第二句"));
    settle();
    EXPECT_EQ(viewModel->finalTranscript(), QStringLiteral("第二句"));
    int notices = 0;
    for (const QList<QVariant> &change : toasts) {
        const auto toast = change.at(0).value<std::optional<AppToastState>>();
        if (toast && toast->message.startsWith(QStringLiteral("没有找到桌面密钥环")))
            ++notices;
    }
    EXPECT_EQ(notices, 1);
    const auto registrations =
        std::count_if(gatewayServer.requests().begin(), gatewayServer.requests().end(),
                      [](const RecordedHttpRequest &request) {
                          return request.path() == "/api/client/register";
                      });
    EXPECT_EQ(registrations, 1) << "the session kept in memory is reused";
}

} // namespace
} // namespace tovalit
