// The desktop entry's actions, as a launcher or dock runs them: the
// executable started with the action's name hands it to the Tovalit already
// running in the session, over the desktop's application interface on the
// session bus, and ends. Here the running Tovalit is this test's own
// application (over the shell's doubles); the launches are the built
// executable.

#include "app/legacy_menu_bar_controller.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/vellup_transcriber_app.h"
#include "tests/app/shell_test_support.h"
#include "tests/support/application_process.h"
#include "tests/support/test_session.h"

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

using namespace std::chrono_literals;

class DesktopActionsTest : public WithDiagnosticsLog {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("DISPLAY") &&
                                        !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"),
                                    "needs the desktop session of scripts/test");
        doubles.grantEverything();
        VellupTranscriberApp::Dependencies d;
        d.defaults = doubles.defaults;
        d.environment = ShellDoubles::gatewayEnvironment();
        d.permissions = doubles.permissionDependencies(&activity);
        d.makeViewModel = [this](AppConfigurationStore &store,
                                 std::shared_ptr<RemoteDesktopKeyboardAccess>) {
            return doubles.makeViewModel(store);
        };
        d.clientWindow = doubles.clientWindowDependencies();
        d.menuBar = &menuBar;
        d.systemTrayProbe = [] { return false; };
        app = std::make_unique<VellupTranscriberApp>(std::move(d));
        app->launch();
        ASSERT_TRUE(instance.claim());
        app->serve(instance);
    }
    void TearDown() override {
        app.reset();
        processEventsFor(10ms);
    }

    TranscriberViewModel &controller() { return app->viewModel(); }

    ShellDoubles doubles{folders.dataFolder()};
    ApplicationActivity activity;
    LegacyMenuBarController menuBar;
    std::unique_ptr<VellupTranscriberApp> app;
    SingleInstance instance;
};

TEST_F(DesktopActionsTest, EachActionReachesTheRunningTovalit) {
    // The recording action is a press of the shortcut: it starts, and a
    // later one stops and files the dictation.
    doubles.transcriberScript.finishText = QStringLiteral("明天下午三点开会");
    doubles.formatterAnswers.fallback = QStringLiteral("明天下午三点开会。");
    // Each launch says how long ago it began.
    std::optional<double> launchAge;
    QObject::connect(&instance, &SingleInstance::actionRequested,
                     [&](DesktopAction, const QVariantMap &platformData) {
                         launchAge = SingleInstance::secondsSinceLaunch(platformData);
                     });
    QElapsedTimer launching;
    launching.start();
    ApplicationLaunch toggled =
        launchApplication({QStringLiteral("--action"), QStringLiteral("toggle-recording")});
    ASSERT_TRUE(toggled.ended);
    ASSERT_TRUE(launchAge.has_value());
    // The system counts a process's start in ticks of 10 ms.
    EXPECT_GT(*launchAge, 0.0);
    EXPECT_LE(*launchAge, double(launching.elapsed()) / 1000.0 + 0.02);
    EXPECT_EQ(toggled.exitCode, 0) << toggled.errors.toStdString();
    ASSERT_TRUE(
        waitUntil([&] { return controller().recordingState() == RecordingState::recording(); },
                  "the running Tovalit to start recording"));
    // Each launch's age is real time, however long a busy machine takes
    // to start it; on this clock the second press comes later than any
    // heeded age can make up, so it is never taken for the first one held.
    doubles.time.advance(2.0 + SingleInstance::longestHeededLaunchAge);
    toggled = launchApplication({QStringLiteral("--action=toggle-recording")});
    EXPECT_EQ(toggled.exitCode, 0) << toggled.errors.toStdString();
    ASSERT_TRUE(waitUntil([&] { return controller().records().size() == 1; },
                          "the running Tovalit to stop and file the dictation"))
        << logLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(controller().records()[0].transcript, QStringLiteral("明天下午三点开会。"));

    // The window closed, the open action brings it back.
    MainWindow &window = *app->mainWindow();
    window.close();
    ASSERT_FALSE(window.isVisible());
    EXPECT_EQ(
        launchApplication({QStringLiteral("--action"), QStringLiteral("open-window")}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return window.isVisible(); }, "the window to come back"));

    // A plain launch shows it as well.
    window.close();
    EXPECT_EQ(launchApplication({}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return window.isVisible(); }, "the window to come back"));

    // The quit action ends the running Tovalit's event loop.
    const std::unique_ptr<QProcess> quitting =
        startApplicationLaunch({QStringLiteral("--action"), QStringLiteral("quit")});
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(9); });
    watchdog.start(30000);
    EXPECT_EQ(QCoreApplication::exec(), 0) << "the running Tovalit did not quit";
    const ApplicationLaunch quit = applicationLaunchOutcome(*quitting);
    EXPECT_EQ(quit.exitCode, 0) << quit.errors.toStdString();
}

TEST_F(DesktopActionsTest, AHeldShortcutRunningTheRecordingActionAtEveryRepeatIsOnePress) {
    // GNOME's custom shortcut runs the action at the press and at each
    // repeat of the held keys (500 ms, then every 33 ms), and nothing when
    // they go up. Each run is a launch of its own that takes its own time
    // to reach the running Tovalit, and says when it began.
    doubles.keyboardSettings->setKeyRepeat(KeyRepeat{true, 0.5, 0.033});
    doubles.transcriberScript.finishText = QStringLiteral("明天下午三点开会");
    doubles.formatterAnswers.fallback = QStringLiteral("明天下午三点开会。");
    const double start = doubles.time.uptime();
    const auto runAction = [&](double launchedAt, double arrivesAt) {
        doubles.time.advance(start + arrivesAt - doubles.time.uptime());
        QVariantMap platformData;
        platformData.insert(QStringLiteral("tovalit-seconds-since-launch"), arrivesAt - launchedAt);
        QDBusMessage call = QDBusMessage::createMethodCall(
            instance.serviceName(), instance.objectPath(),
            QStringLiteral("org.freedesktop.Application"), QStringLiteral("ActivateAction"));
        call << QStringLiteral("toggle-recording") << QVariantList() << platformData;
        const QDBusMessage reply =
            QDBusConnection::sessionBus().call(call, QDBus::BlockWithGui, 10000);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        processEventsFor(20ms);
    };
    // The press's launch was the slowest: its first repeat arrives 0.75 s
    // after it.
    ASSERT_NO_FATAL_FAILURE(runAction(0.0, 0.45));
    ASSERT_TRUE(
        waitUntil([&] { return controller().recordingState() == RecordingState::recording(); },
                  "the press to start a recording"));
    ASSERT_NO_FATAL_FAILURE(runAction(0.5, 1.2));
    ASSERT_NO_FATAL_FAILURE(runAction(0.533, 1.21));
    ASSERT_NO_FATAL_FAILURE(runAction(0.566, 1.22));
    EXPECT_EQ(controller().recordingState(), RecordingState::recording())
        << "the held press started one recording and stopped none";
    EXPECT_EQ(doubles.transcribers.size(), 1u);

    // Released; a tap a second later stops it, and two taps a second apart
    // start and stop the next.
    ASSERT_NO_FATAL_FAILURE(runAction(1.6, 1.7));
    ASSERT_TRUE(waitUntil([&] { return controller().records().size() == 1; },
                          "the tap to stop and file the dictation"));
    ASSERT_NO_FATAL_FAILURE(runAction(3.0, 3.1));
    ASSERT_TRUE(
        waitUntil([&] { return controller().recordingState() == RecordingState::recording(); },
                  "the next tap to start a recording"));
    ASSERT_NO_FATAL_FAILURE(runAction(4.0, 4.1));
    EXPECT_TRUE(waitUntil([&] { return controller().records().size() == 2; },
                          "the tap a second later to stop and file it"));
}

TEST_F(DesktopActionsTest, AnUnknownActionIsRefusedAndChangesNothing) {
    const ApplicationLaunch refused =
        launchApplication({QStringLiteral("--action"), QStringLiteral("start-meeting")});
    ASSERT_TRUE(refused.ended);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.errors.contains(QStringLiteral("open-window, toggle-recording, quit")))
        << refused.errors.toStdString();

    // Asked over the bus directly, the running Tovalit answers with an error.
    QDBusMessage call = QDBusMessage::createMethodCall(
        instance.serviceName(), instance.objectPath(),
        QStringLiteral("org.freedesktop.Application"), QStringLiteral("ActivateAction"));
    call << QStringLiteral("start-meeting") << QVariantList() << QVariantMap();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::BlockWithGui, 10000);
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    EXPECT_EQ(controller().recordingState(), RecordingState::idle());
}

} // namespace
} // namespace tovalit::testing
