#include "app/legacy_menu_bar_controller.h"
#include "app/main_window.h"
#include "app/vellup_transcriber_app.h"
#include "state/app_launch_coordinator.h"
#include "tests/app/shell_test_support.h"
#include "views/client_window_view.h"
#include "views/permissions/permissions_onboarding_view.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

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
        d.makeViewModel = [this](AppConfigurationStore &store) {
            storeGivenToViewModel = &store;
            return doubles.makeViewModel(store);
        };
        d.clientWindow = doubles.clientWindowDependencies();
        d.menuBar = &menuBar;
        app = std::make_unique<VellupTranscriberApp>(std::move(d));
        return *app;
    }

    QAction &toggleItem() { return *menuBar.toggleRecordingItem(); }

    ShellDoubles doubles{folders.dataFolder()};
    ApplicationActivity activity;
    LegacyMenuBarController menuBar;
    AppConfigurationStore *storeGivenToViewModel = nullptr;
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
    // frees the menu, with no change of the recording state.
    onboarding->findChild<QPushButton *>(QStringLiteral("bypassButton"))->click();
    EXPECT_FALSE(shell.launchCoordinator().shouldShowPermissionsOnboarding());
    EXPECT_NE(qobject_cast<ClientWindowView *>(window.content()), nullptr);
    EXPECT_TRUE(toggleItem().isEnabled());
    QPointer<PermissionsOnboardingView> gone(onboarding);
    waitUntil([&] { return gone.isNull(); }, "the onboarding to be discarded");

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

} // namespace
} // namespace tovalit::testing
