// Dictation over the real gateway session service while the desktop's
// keyring waits for its user, never answers, or is not there at all.

#include "platform/fake/in_memory_secret_store.h"
#include "services/gateway/gateway_session.h"
#include "services/gateway/gateway_session_service.h"
#include "services/security/keychain_store.h"
#include "state/shell/app_toasts.h"
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

// A damaged history, a former data folder left where it was and no
// keyring, all at one start: each notice is seen in turn, for its full
// time, and a copy's confirmation in between does not cost one its turn.
TEST_F(KeyringDictationTest, TheNoticesOfOneStartAreEachShownInTurn) {
    ASSERT_TRUE(QDir().mkpath(dataFolder()));
    QFile damaged(dataFolder() + QStringLiteral("/history.json"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("[\n    {\n        \"createdAt\": \"2026-03-0");
    damaged.close();
    const QString folderNotice = QStringLiteral("无法迁移旧的数据文件夹（原因）");
    const auto withKeyring = adjustDependencies;
    adjustDependencies = [&](TranscriberViewModel::Dependencies &d) {
        withKeyring(d);
        d.takeDataFolderMoveNotice = [folderNotice, told = false]() mutable {
            return std::exchange(told, true) ? std::nullopt : std::optional(folderNotice);
        };
    };
    secrets->setNoService(true);
    makeViewModel(true);
    // The window that shows them is on screen.
    viewModel->appToastSurfaceShown();
    // The start-up sync signs the device in, and finds no keyring.
    ASSERT_TRUE(waitUntil(
        [&] {
            return std::any_of(gatewayServer.requests().begin(), gatewayServer.requests().end(),
                               [](const RecordedHttpRequest &request) {
                                   return request.path() == "/api/client/register";
                               });
        },
        "the start-up sign-in"));
    settle();

    const auto shown = [&] { return viewModel->appToast().value_or(AppToastState{}).message; };
    const QStringList aside =
        QDir(dataFolder()).entryList({QStringLiteral("history.json.unreadable-*")});
    ASSERT_EQ(aside.size(), 1);
    const QString historyNotice =
        QStringLiteral("历史记录文件无法解析，已从转写文件重建；原文件另存为：") + aside[0];
    const QString keyringNotice =
        QStringLiteral("没有找到桌面密钥环（Secret Service），登录状态只保留到退出 "
                       "Tovalit，下次启动会重新登录。");
    EXPECT_EQ(shown(), historyNotice) << "the first notice keeps the window until its time";
    ASSERT_EQ(toastSleeps.count(), 1u);
    EXPECT_GT(toastSleeps.at(0).seconds, 6.0) << "time to read a copy's long name";

    // The user copies something: the confirmation shows at once, and the
    // notice it cut short comes back after it.
    viewModel->copyTranscript(QStringLiteral("复制我"));
    EXPECT_EQ(shown(), QStringLiteral("已复制到剪贴板"));
    settle();
    toastSleeps.wake(toastSleeps.count() - 1);
    settle();
    EXPECT_EQ(shown(), historyNotice);

    for (const QString &next : {folderNotice, keyringNotice}) {
        toastSleeps.wake(toastSleeps.count() - 1);
        settle();
        EXPECT_EQ(shown(), next);
        EXPECT_TRUE(viewModel->appToast().value_or(AppToastState{}).isError);
        EXPECT_DOUBLE_EQ(toastSleeps.at(toastSleeps.count() - 1).seconds,
                         AppToasts::noticeDurationFor(next));
    }
    toastSleeps.wake(toastSleeps.count() - 1);
    settle();
    EXPECT_FALSE(viewModel->appToast().has_value()) << "each notice once";
}

} // namespace
} // namespace tovalit
