// Launching Tovalit while it already runs in the desktop session, which on
// Linux is how a user reopens an application: the running process comes
// forward and the new launch ends there.

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

    QProcess again;
    again.setProcessChannelMode(QProcess::ForwardedChannels);
    again.start(testing::builtApplicationPath(), {});
    ASSERT_TRUE(again.waitForStarted(5000));
    const bool ended = waitUntil([&] { return again.state() == QProcess::NotRunning; },
                                 "the second launch to end", 30s);
    if (!ended) {
        again.kill();
        again.waitForFinished(5000);
    }
    ASSERT_TRUE(ended) << "a second process kept running beside the first";
    EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(again.exitCode(), 0);

    EXPECT_TRUE(running->isRunning());
    EXPECT_TRUE(waitUntil(
        [&] { return ApplicationProcess::activeWindowProcess() == running->processIdentifier(); },
        "the running application's window in front", 10s))
        << "active: " << ApplicationProcess::activeWindowProcess();
    EXPECT_EQ(ApplicationProcess::mainWindowsOnScreen().size(), 1);
}

} // namespace
} // namespace tovalit
