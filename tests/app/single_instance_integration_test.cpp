// Launching Tovalit while it already runs in the desktop session, which on
// Linux is how a user reopens an application: the running process comes
// forward and the new launch ends there. The session here has no tray, as
// GNOME has none.

#include "tests/support/application_process.h"
#include "tests/support/run_task.h"
#include "tests/support/temporary_user_folders.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/xdotool.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::ApplicationProcess;
using testing::waitUntil;

class RelaunchTest : public testing::WithTemporaryUserFolders {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("DISPLAY") &&
                                        !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"),
                                    "needs the desktop session of scripts/test");
    }

    // Tovalit launched again from the desktop's list of applications:
    // whether that launch ended (with success) instead of staying as a
    // second process.
    static bool launchAgainEnds() {
        QProcess again;
        again.setProcessChannelMode(QProcess::ForwardedChannels);
        again.start(testing::builtApplicationPath(), {});
        if (!again.waitForStarted(5000))
            return false;
        const bool ended = waitUntil([&] { return again.state() == QProcess::NotRunning; },
                                     "the second launch to end", 30s);
        if (!ended) {
            again.kill();
            again.waitForFinished(5000);
            return false;
        }
        return again.exitStatus() == QProcess::NormalExit && again.exitCode() == 0;
    }
};

TEST_F(RelaunchTest, ASecondLaunchBringsTheRunningWindowForwardAndEnds) {
    auto running = ApplicationProcess::start(testing::builtApplicationPath());
    ASSERT_TRUE(running);
    ASSERT_NE(running->waitForMainWindow(), 0u);
    // It comes up in front, as a launched application does.
    ASSERT_TRUE(waitUntil(
        [&] { return ApplicationProcess::activeWindowProcess() == running->processIdentifier(); },
        "the application's window in front", 10s));

    // The user went on in another application.
    auto editor = testing::TestEditorProcess::start(testing::TestEditorProcess::Toolkit::Qt,
                                                    QStringLiteral("别的应用"), QString(), 0);
    ASSERT_TRUE(editor);
    // The window manager may keep a new window behind the one in use; the
    // user brings the editor forward.
    QString editorWindow;
    ASSERT_TRUE(waitUntil(
        [&] {
            editorWindow =
                testing::xdotool({QStringLiteral("search"), QStringLiteral("--pid"),
                                  QString::number(editor->processIdentifier()),
                                  QStringLiteral("--name"), QStringLiteral("^别的应用$")})
                    .section(QLatin1Char('\n'), 0, 0);
            return !editorWindow.isEmpty();
        },
        "the editor's window"));
    testing::xdotool({QStringLiteral("windowactivate"), editorWindow});
    ASSERT_TRUE(waitUntil(
        [&] { return ApplicationProcess::activeWindowProcess() == editor->processIdentifier(); },
        "the editor in front"));

    ASSERT_TRUE(launchAgainEnds()) << "a second process kept running beside the first";

    EXPECT_TRUE(running->isRunning());
    EXPECT_TRUE(waitUntil(
        [&] { return ApplicationProcess::activeWindowProcess() == running->processIdentifier(); },
        "the running application's window in front", 10s))
        << "active: " << ApplicationProcess::activeWindowProcess();
    EXPECT_EQ(ApplicationProcess::mainWindowsOnScreen().size(), 1);
}

TEST_F(RelaunchTest, WithoutATrayClosingTheWindowLeavesTovalitRunningForTheNextLaunch) {
    auto running = ApplicationProcess::start(testing::builtApplicationPath());
    ASSERT_TRUE(running);
    const quint64 window = running->waitForMainWindow();
    ASSERT_NE(window, 0u);

    // The user closes the window as the window manager offers it.
    testing::xdotool(
        {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)});
    testing::xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
    ASSERT_TRUE(waitUntil([] { return ApplicationProcess::mainWindowsOnScreen().isEmpty(); },
                          "the window to close", 10s));

    // Launched again from the desktop's list of applications: the same
    // process shows its window.
    EXPECT_TRUE(launchAgainEnds())
        << "closing the window had ended Tovalit, so the launch started anew";
    EXPECT_TRUE(running->isRunning());
    EXPECT_NE(running->waitForMainWindow(), 0u);
}

} // namespace
} // namespace tovalit
