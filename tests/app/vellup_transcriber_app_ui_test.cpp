#include "app/legacy_menu_bar_controller.h"
#include "app/main_window.h"
#include "app/vellup_transcriber_app.h"
#include "platform/virtual_key_code.h"
#include "state/app_launch_coordinator.h"
#include "tests/app/shell_test_support.h"
#include "state/shell/app_toasts.h"
#include "views/client_window_toast_view.h"
#include "views/client_window_view.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_text_label.h"
#include "views/permissions/permissions_onboarding_view.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

// What runApplication() returns when the test, not the application, ended
// the event loop, and when nothing did in time.
constexpr int endedByTheTest = 7;
constexpr int timedOut = 9;

// Runs the application's event loop, as on the desktop, with `first` as
// its first event and `tick` asked every few milliseconds until it answers
// true. Returns the loop's status: the application's own when it quit.
int runApplication(const std::function<void()> &first, const std::function<bool()> &tick) {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(timedOut); });
    watchdog.start(10000);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (tick())
            QCoreApplication::exit(endedByTheTest);
    });
    poll.start(5);
    QTimer::singleShot(0, first);
    return QCoreApplication::exec();
}

QStringList titles(const QMenu &menu) {
    QStringList result;
    for (QAction *action : menu.actions())
        result << (action->isSeparator() ? QStringLiteral("---") : action->text());
    return result;
}

class ApplicationShellTest : public WithDiagnosticsLog {
protected:
    ~ApplicationShellTest() override {
        app.reset();
        processEventsFor(std::chrono::milliseconds(10));
    }

    VellupTranscriberApp &makeApp() {
        VellupTranscriberApp::Dependencies d;
        d.defaults = doubles.defaults;
        d.environment = ShellDoubles::gatewayEnvironment();
        d.permissions = doubles.permissionDependencies(&activity);
        d.makeViewModel = [this](AppConfigurationStore &store,
                                 std::shared_ptr<RemoteDesktopKeyboardAccess>) {
            storeGivenToViewModel = &store;
            return doubles.makeViewModel(store);
        };
        d.clientWindow = doubles.clientWindowDependencies();
        d.menuBar = &menuBar;
        d.systemTrayProbe = [this] { return trayShown; };
        app = std::make_unique<VellupTranscriberApp>(std::move(d));
        return *app;
    }

    QAction &toggleItem() { return *menuBar.toggleRecordingItem(); }
    QAction &quitItem() { return *menuBar.menu()->actions().constLast(); }

    // A dictation stopped from the menu, held at its formatting request.
    void holdAStopAtFormatting(VellupTranscriberApp &shell) {
        doubles.transcriberScript.finishText = QStringLiteral("明天下午三点开会");
        doubles.formatterAnswers.fallback = QStringLiteral("明天下午三点开会。");
        doubles.formatterAnswers.gate = std::make_shared<Gate>();
        doubles.startRecording(shell.viewModel());
        ASSERT_EQ(shell.viewModel().recordingState(), RecordingState::recording());
        doubles.time.advance(2.0);
        toggleItem().trigger();
        ASSERT_TRUE(waitUntil(
            [&] { return shell.viewModel().recordingState() == RecordingState::thinking(); },
            "the stop to be processed"));
    }
    bool quitIsWaiting() const {
        for (std::size_t i = 0; i < doubles.sessionSleeps.count(); ++i) {
            if (doubles.sessionSleeps.at(i).seconds == VellupTranscriberApp::quitGraceSeconds)
                return true;
        }
        return false;
    }

    ShellDoubles doubles{folders.dataFolder()};
    ApplicationActivity activity;
    LegacyMenuBarController menuBar;
    AppConfigurationStore *storeGivenToViewModel = nullptr;
    // The test desktop has no tray host.
    bool trayShown = false;
    std::unique_ptr<VellupTranscriberApp> app;
};

TEST_F(ApplicationShellTest, StartUpLogsTheLaunchAndBuildsTheControllerOnceAfterTheCoordinators) {
    doubles.grantEverything();
    VellupTranscriberApp &shell = makeApp();
    const QString line = QStringLiteral("===== app launch pid=") +
                         QString::number(QCoreApplication::applicationPid()) +
                         QStringLiteral(" =====");
    EXPECT_EQ(logLines(QStringLiteral("session")), QStringList{line});

    EXPECT_EQ(doubles.viewModelsBuilt, 0) << "the controller is built when first needed";
    EXPECT_FALSE(shell.launchCoordinator().shouldShowPermissionsOnboarding());
    shell.launch();
    EXPECT_EQ(doubles.viewModelsBuilt, 1);
    EXPECT_EQ(storeGivenToViewModel, &shell.configurationStore());
    shell.viewModel();
    shell.openMainWindow();
    EXPECT_EQ(doubles.viewModelsBuilt, 1);

    MainWindow *window = shell.mainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->objectName(), QStringLiteral("main-window"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tovalit"));
    window->resize(600, 400);
    EXPECT_EQ(window->size(), QSize(980, 680)) << "never smaller than 980 x 680";
    EXPECT_NE(qobject_cast<ClientWindowView *>(window->content()), nullptr);
    EXPECT_NE(menuBar.statusItem(), nullptr) << "launching installs the status item";
    EXPECT_TRUE(toggleItem().isEnabled());
}

TEST_F(ApplicationShellTest, TheOnboardingGatesTheWindowAndTheMenu) {
    doubles.grantEverything();
    doubles.probe->setListenEventAccess(false);
    doubles.transcriberScript.finishText = QStringLiteral("今天下午开会");
    doubles.formatterAnswers.fallback = QStringLiteral("今天下午开会。");
    VellupTranscriberApp &shell = makeApp();
    shell.launch();
    MainWindow &window = *shell.mainWindow();
    auto *onboarding = qobject_cast<PermissionsOnboardingView *>(window.content());
    ASSERT_NE(onboarding, nullptr);

    // Nothing starts from the menu while the onboarding shows…
    EXPECT_EQ(toggleItem().text(), QStringLiteral("开始录音"));
    EXPECT_FALSE(toggleItem().isEnabled());
    menuBar.handleToggleRecording();
    processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(shell.viewModel().recordingState(), RecordingState::idle());

    // …but a recording the shortcut started can be stopped from it.
    doubles.startRecording(shell.viewModel());
    ASSERT_EQ(shell.viewModel().recordingState(), RecordingState::recording());
    EXPECT_EQ(menuBar.statusSymbolName(), QStringLiteral("waveform.circle.fill"));
    EXPECT_EQ(toggleItem().text(), QStringLiteral("停止录音"));
    EXPECT_TRUE(toggleItem().isEnabled());
    doubles.time.advance(2.0);
    toggleItem().trigger();
    waitUntil([&] { return shell.viewModel().recordingState() == RecordingState::idle(); },
              "the menu to stop the recording and the dictation to finish");
    EXPECT_FALSE(toggleItem().isEnabled());

    // Going on without the permission switches to the client window and
    // frees the menu, with no change of the recording state. The window's
    // menu button (there is no tray here) moves to the client's header.
    const QPointer<TovalitMenuButton> menuButton(window.statusMenuButton());
    ASSERT_FALSE(menuButton.isNull());
    onboarding->findChild<QPushButton *>(QStringLiteral("bypassButton"))->click();
    EXPECT_FALSE(shell.launchCoordinator().shouldShowPermissionsOnboarding());
    auto *clientWindow = qobject_cast<ClientWindowView *>(window.content());
    ASSERT_NE(clientWindow, nullptr);
    EXPECT_TRUE(toggleItem().isEnabled());
    QPointer<PermissionsOnboardingView> gone(onboarding);
    waitUntil([&] { return gone.isNull(); }, "the onboarding to be discarded");
    ASSERT_FALSE(menuButton.isNull()) << "the button went with the onboarding";
    EXPECT_EQ(window.statusMenuButton(), menuButton);
    EXPECT_TRUE(clientWindow->headerAccessoryPlace()->isAncestorOf(menuButton));
    EXPECT_TRUE(menuButton->isVisibleTo(&window));

    // The client window stays while the launch coordinator merely
    // publishes its decision again.
    QWidget *client = window.content();
    shell.permissionCoordinator().refreshStates();
    EXPECT_EQ(window.content(), client);

    // The menu starts a recording now.
    toggleItem().trigger();
    waitUntil([&] { return shell.viewModel().recordingState() == RecordingState::recording(); },
              "the menu to start a recording");
}

// A damaged history at a start where a permission is missing: the notice
// outlasts however long the user stays on the onboarding, and has its
// full time once the client window shows it, and again after the window
// was hidden before that time was up.
TEST_F(ApplicationShellTest, AStartNoticeWaitsForTheWindowThatShowsIt) {
    doubles.grantEverything();
    doubles.probe->setListenEventAccess(false);
    doubles.shouldBootstrap = true;
    const QDir data(folders.dataFolder());
    ASSERT_TRUE(data.mkpath(QStringLiteral(".")));
    QFile damaged(data.filePath(QStringLiteral("history.json")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("[\n    {\n        \"createdAt\": \"2026-03-0");
    damaged.close();
    VellupTranscriberApp &shell = makeApp();
    shell.launch();
    MainWindow &window = *shell.mainWindow();
    auto *onboarding = qobject_cast<PermissionsOnboardingView *>(window.content());
    ASSERT_NE(onboarding, nullptr);
    ASSERT_TRUE(waitUntil([&] { return shell.viewModel().appToast().has_value(); },
                          "the damaged history's notice"));
    const QStringList aside = data.entryList({QStringLiteral("history.json.unreadable-*")});
    ASSERT_EQ(aside.size(), 1);
    const QString notice =
        QStringLiteral("历史记录文件无法解析，已从转写文件重建；原文件另存为：") + aside[0];

    // The user reads the onboarding for a long while: every wait there was
    // is over.
    for (std::size_t i = 0; i < doubles.toastSleeps.count(); ++i)
        doubles.toastSleeps.wake(i);
    processEventsFor(std::chrono::milliseconds(20));
    const std::size_t before = doubles.toastSleeps.count();

    onboarding->findChild<QPushButton *>(QStringLiteral("bypassButton"))->click();
    auto *client = qobject_cast<ClientWindowView *>(window.content());
    ASSERT_NE(client, nullptr);
    processEventsFor(std::chrono::milliseconds(20));
    ASSERT_NE(client->toastView(), nullptr) << "the notice was spent unseen";
    EXPECT_EQ(client->toastView()->messageLabel()->text(), notice);
    ASSERT_EQ(doubles.toastSleeps.count(), before + 1) << "its time starts on screen";
    EXPECT_DOUBLE_EQ(doubles.toastSleeps.at(before).seconds, AppToasts::noticeDurationFor(notice));

    window.hide();
    EXPECT_TRUE(doubles.toastSleeps.at(before).token.isCancelled());
    shell.reopen();
    processEventsFor(std::chrono::milliseconds(20));
    ASSERT_EQ(doubles.toastSleeps.count(), before + 2);
    EXPECT_DOUBLE_EQ(doubles.toastSleeps.at(before + 1).seconds, AppToasts::noticeDurationFor(notice));
    EXPECT_EQ(shell.viewModel().appToast().value_or(AppToastState{}).message, notice);
    doubles.toastSleeps.wake(before + 1);
    processEventsFor(std::chrono::milliseconds(20));
    EXPECT_FALSE(shell.viewModel().appToast().has_value());
}

// A start that could not read the settings file (a loop of links) shows a
// user who finished the onboarding long ago the onboarding again, as its
// flag reads as the default: the page says why. Once the file reads again,
// nothing says the defaults are in use any more.
TEST_F(ApplicationShellTest, AnUnreadableSettingsFileIsToldOnTheOnboardingWhileItLasts) {
    doubles.grantEverything();
    doubles.probe->setListenEventAccess(false);
    doubles.shouldBootstrap = true;
    doubles.defaults->failLoading(
        QStringLiteral("/home/u/.config/Tovalit/Tovalit.ini: Too many levels of symbolic links"));
    VellupTranscriberApp &shell = makeApp();
    shell.launch();
    MainWindow &window = *shell.mainWindow();
    auto *onboarding = qobject_cast<PermissionsOnboardingView *>(window.content());
    ASSERT_NE(onboarding, nullptr);
    const QString notice = shell.configurationStore().unreadSettingsNotice().value_or(QString());
    ASSERT_FALSE(notice.isEmpty());
    auto *card = onboarding->findChild<QWidget *>(QStringLiteral("unreadSettingsCard"));
    ASSERT_NE(card, nullptr) << "the onboarding does not say why it shows";
    EXPECT_TRUE(card->isVisible());
    auto *label = card->findChild<TovalitTextLabel *>(QStringLiteral("unreadSettingsNotice"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), notice);
    ASSERT_TRUE(waitUntil([&] { return shell.viewModel().appToast().has_value(); },
                          "the notice for the client window"));

    // The file is back; coming back to the window checks the permissions,
    // which saves, and so reads it.
    doubles.defaults->failLoading(std::nullopt);
    shell.permissionCoordinator().refreshStates();
    EXPECT_TRUE(card->isHidden());
    onboarding->findChild<QPushButton *>(QStringLiteral("bypassButton"))->click();
    auto *client = qobject_cast<ClientWindowView *>(window.content());
    ASSERT_NE(client, nullptr);
    processEventsFor(std::chrono::milliseconds(20));
    ASSERT_NE(client->toastView(), nullptr);
    EXPECT_EQ(client->toastView()->messageLabel()->text(), QStringLiteral("已重新读取设置"))
        << "a notice that no longer holds";
    EXPECT_FALSE(client->toastView()->toast().isError);
}

TEST_F(ApplicationShellTest, OpeningTheMainWindowFindsItByIdentifierOrTitle) {
    doubles.grantEverything();
    VellupTranscriberApp &shell = makeApp();

    // Before launch there is no main window: only the application is
    // activated.
    shell.openMainWindow();

    shell.launch();
    MainWindow &window = *shell.mainWindow();
    QWidget other;
    other.setWindowTitle(QStringLiteral("别的窗口"));
    other.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(shell.delegate().applicationShouldHandleReopen(false));

    shell.openMainWindow();
    EXPECT_TRUE(window.isVisible()) << "closing hides; the menu brings it back";
    EXPECT_FALSE(other.isHidden());

    // A window that lost its identifier is still found by its title.
    window.setObjectName(QString());
    window.hide();
    menuBar.openMainWindowItem()->trigger();
    EXPECT_TRUE(window.isVisible());
}

TEST_F(ApplicationShellTest, TerminationRemovesTheStatusItemAndKeepsEverythingElse) {
    doubles.grantEverything();
    VellupTranscriberApp &shell = makeApp();
    shell.launch();
    ASSERT_NE(menuBar.statusItem(), nullptr);
    shell.delegate().applicationWillTerminate();
    EXPECT_EQ(menuBar.statusItem(), nullptr);
    shell.updateLegacyMenuBarState();
    EXPECT_EQ(menuBar.statusSymbolName(), QString());
}

TEST_F(ApplicationShellTest, WithoutATrayClosingTheWindowKeepsTheApplicationAndItsShortcut) {
    doubles.grantEverything();
    doubles.shouldBootstrap = true;
    VellupTranscriberApp &shell = makeApp();
    shell.launch();
    shell.configurationStore().setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::control | ModifierFlag::option, QStringLiteral("K")));
    ASSERT_TRUE(waitUntil([&] { return doubles.globalHotKey->registered().has_value(); },
                          "the shortcut to be registered"));
    MainWindow &window = *shell.mainWindow();
    ASSERT_TRUE(window.isVisible());

    // The user closes the window, then presses the shortcut.
    bool pressed = false;
    const int status =
        runApplication([&] { window.close(); },
                       [&] {
                           if (!pressed) {
                               pressed = true;
                               doubles.globalHotKey->press(HotkeyMonitor::hotKeyIdentifier);
                           }
                           return shell.viewModel().recordingState() == RecordingState::recording();
                       });
    EXPECT_EQ(status, endedByTheTest) << "closing the window ended the application";
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(shell.viewModel().recordingState(), RecordingState::recording());

    // Launching Tovalit again brings the window back.
    shell.reopen();
    EXPECT_TRUE(window.isVisible());
}

TEST_F(ApplicationShellTest, WithoutATrayTheWindowOffersTheStatusMenuUntilATrayComesUp) {
    doubles.grantEverything();
    VellupTranscriberApp &shell = makeApp();
    shell.launch();
    MainWindow &window = *shell.mainWindow();
    ASSERT_NE(window.statusMenuButton(), nullptr);
    QMenu &offered = *window.statusMenuButton()->itemMenu();
    EXPECT_EQ(titles(offered),
              (QStringList{QStringLiteral("打开 Tovalit"), QStringLiteral("开始录音"),
                           QStringLiteral("---"), QStringLiteral("退出")}));

    // The very items of the status menu: they follow the recording and
    // act as the menu does.
    doubles.startRecording(shell.viewModel());
    EXPECT_EQ(offered.actions().at(1)->text(), QStringLiteral("停止录音"));
    window.hide();
    offered.actions().at(0)->trigger();
    EXPECT_TRUE(window.isVisible());

    // A tray host comes up: the icon's menu is enough. It goes away again:
    // the window offers the menu again.
    trayShown = true;
    shell.systemTray().refresh();
    EXPECT_EQ(window.statusMenuButton(), nullptr);
    trayShown = false;
    shell.systemTray().refresh();
    ASSERT_NE(window.statusMenuButton(), nullptr);
    EXPECT_EQ(window.statusMenuButton()->itemMenu()->actions().size(), 4);
}

TEST_F(ApplicationShellTest, TheDesktopsRecordingActionIsAShortcutPressEvenDuringTheOnboarding) {
    doubles.grantEverything();
    doubles.probe->setTrusted(false);
    VellupTranscriberApp &shell = makeApp();
    shell.launch();
    ASSERT_TRUE(shell.launchCoordinator().shouldShowPermissionsOnboarding());
    ASSERT_FALSE(toggleItem().isEnabled()) << "the menu starts nothing during the onboarding";

    shell.activateAction(DesktopAction::toggleRecording);
    ASSERT_TRUE(
        waitUntil([&] { return shell.viewModel().recordingState() == RecordingState::recording(); },
                  "the action to start a recording"));
    // Within the stop guard a press is ignored, as the shortcut's would be.
    shell.activateAction(DesktopAction::toggleRecording);
    processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(shell.viewModel().recordingState(), RecordingState::recording());
    doubles.time.advance(2.0);
    shell.activateAction(DesktopAction::toggleRecording);
    ASSERT_TRUE(waitUntil([&] { return shell.viewModel().records().size() == 1; },
                          "the action to stop it and file the dictation"));

    shell.mainWindow()->close();
    shell.activateAction(DesktopAction::openWindow);
    EXPECT_TRUE(shell.mainWindow()->isVisible());

    const int status =
        runApplication([&] { shell.activateAction(DesktopAction::quit); }, [] { return false; });
    EXPECT_EQ(status, 0) << "the quit action ends the application";
}

TEST_F(ApplicationShellTest, QuittingWhileADictationIsProcessedFilesItsRecordFirst) {
    doubles.grantEverything();
    VellupTranscriberApp &shell = makeApp();
    shell.launch();
    ASSERT_NO_FATAL_FAILURE(holdAStopAtFormatting(shell));

    // The menu's quit waits for the dictation, whose answer then comes.
    const int status = runApplication([&] { quitItem().trigger(); },
                                      [&] {
                                          if (quitIsWaiting())
                                              doubles.formatterAnswers.gate->open();
                                          return false;
                                      });
    EXPECT_EQ(status, 0);
    const QList<TranscriptRecord> filed = runTask(doubles.history.loadRecords());
    ASSERT_EQ(filed.size(), 1) << "the dictation was dropped with the process";
    EXPECT_EQ(filed[0].transcript, QStringLiteral("明天下午三点开会。"));
    EXPECT_EQ(filed[0].status, TranscriptRecordStatus::completed);
}

TEST_F(ApplicationShellTest, QuittingTwiceFilesTheDictationAsCancelledAndEndsAtOnce) {
    doubles.grantEverything();
    VellupTranscriberApp &shell = makeApp();
    shell.launch();
    ASSERT_NO_FATAL_FAILURE(holdAStopAtFormatting(shell));

    bool again = false;
    const int status = runApplication([&] { quitItem().trigger(); },
                                      [&] {
                                          if (quitIsWaiting() && !again) {
                                              again = true;
                                              shell.terminate();
                                          }
                                          return false;
                                      });
    EXPECT_EQ(status, 0);
    const QList<TranscriptRecord> filed = runTask(doubles.history.loadRecords());
    ASSERT_EQ(filed.size(), 1);
    EXPECT_EQ(filed[0].status, TranscriptRecordStatus::failed);
    EXPECT_TRUE(filed[0].note.value_or(QString()).startsWith(
        QStringLiteral("退出 Tovalit 时本次转写尚未完成，已取消")));
    // The held answer comes before the process is gone; the stop ends
    // without filing it again, instead of holding the process's end.
    doubles.formatterAnswers.gate->open();
    processEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(runTask(doubles.history.loadRecords()).size(), 1);
}

} // namespace
} // namespace tovalit::testing
