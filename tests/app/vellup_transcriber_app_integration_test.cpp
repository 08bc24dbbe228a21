// The real application on a real desktop (X server, window manager, a tray
// host): its window comes up in front, its status icon docks into the tray
// and its menu brings the window back from behind another one.

#include "app/legacy_menu_bar_controller.h"
#include "app/main_window.h"
#include "app/vellup_transcriber_app.h"
#include "tests/support/run_task.h"
#include "tests/support/temporary_user_folders.h"
#include "tests/support/test_session.h"
#include "tests/support/xdotool.h"

#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QWindow>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::waitUntil;
using testing::xdotool;

quint64 activeWindow() {
    return xdotool({QStringLiteral("getactivewindow")}).toULongLong();
}

// A tray host of our own for the length of one test.
class TrayHost {
public:
    TrayHost() {
        m_process.start(QStringLiteral("trayer"),
                        {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                         QStringLiteral("right"), QStringLiteral("--widthtype"),
                         QStringLiteral("request"), QStringLiteral("--height"),
                         QStringLiteral("24"), QStringLiteral("--SetDockType"),
                         QStringLiteral("true")});
    }
    ~TrayHost() {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
    bool started() { return m_process.waitForStarted(5000); }
    void stop() {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }

private:
    QProcess m_process;
};

class RealApplicationTest : public testing::WithTemporaryUserFolders {
protected:
    void SetUp() override { TOVALIT_REQUIRE_DISPLAY(); }

    // The application as it starts on this desktop, launched.
    VellupTranscriberApp &launch() {
        VellupTranscriberApp::Dependencies dependencies =
            VellupTranscriberApp::Dependencies::linuxDefaults();
        dependencies.menuBar = &menuBar;
        app = std::make_unique<VellupTranscriberApp>(std::move(dependencies));
        app->launch();
        return *app;
    }

    LegacyMenuBarController menuBar;
    std::unique_ptr<VellupTranscriberApp> app;
};

TEST_F(RealApplicationTest, TheWindowComesForwardAndTheStatusIconDocks) {
    TrayHost tray;
    ASSERT_TRUE(tray.started()) << "trayer could not be started";
    waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, "the tray host to be up");

    MainWindow &window = *launch().mainWindow();
    waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); },
              "the main window to be mapped");
    waitUntil([&] { return activeWindow() == window.winId(); }, "the main window to be active");
    EXPECT_EQ(xdotool({QStringLiteral("getwindowname"), QString::number(window.winId())}),
              QStringLiteral("Tovalit"));

    ASSERT_NE(menuBar.statusItem(), nullptr);
    waitUntil([&] { return menuBar.statusItem()->geometry().isValid(); },
              "the status icon to dock into the tray");
    EXPECT_EQ(window.statusMenuButton(), nullptr) << "the icon's menu is the status menu";

    // Another window in front; the menu brings the main one back.
    QWidget other;
    other.setWindowTitle(QStringLiteral("另一个窗口"));
    other.resize(400, 300);
    other.show();
    other.activateWindow();
    // Until the application has seen its focus move too, Qt still counts
    // the main window as active and would not ask for it again; a user's
    // click on the menu comes long after that.
    waitUntil(
        [&] { return activeWindow() == other.winId() && QApplication::activeWindow() == &other; },
        "the other window to be active");
    menuBar.openMainWindowItem()->trigger();
    waitUntil([&] { return activeWindow() == window.winId(); },
              "the menu to bring the main window forward");

    // Closed, it leaves the process (and its shortcut) running behind the
    // status icon, from which it comes back.
    window.close();
    testing::pumpEvents(50);
    EXPECT_FALSE(window.isVisible());
    menuBar.openMainWindowItem()->trigger();
    waitUntil([&] { return window.isVisible() && activeWindow() == window.winId(); },
              "the closed window to come back");

    app->delegate().applicationWillTerminate();
    EXPECT_EQ(menuBar.statusItem(), nullptr);
    app.reset();
}

TEST_F(RealApplicationTest, TheWindowOffersTheStatusMenuWhileNoTrayHostRuns) {
    // The session has none (a tray host of an earlier test may still be
    // going).
    ASSERT_TRUE(
        waitUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, "no tray host to run"));
    MainWindow &window = *launch().mainWindow();
    EXPECT_NE(window.statusMenuButton(), nullptr);

    // A tray host comes up later (a panel, an extension switched on), and
    // goes again.
    {
        TrayHost tray;
        ASSERT_TRUE(tray.started()) << "trayer could not be started";
        EXPECT_TRUE(waitUntil([&] { return window.statusMenuButton() == nullptr; },
                              "the window to leave the menu to the tray", 15s));
        EXPECT_TRUE(waitUntil([&] { return menuBar.statusItem()->geometry().isValid(); },
                              "the status icon to dock into the late tray"));
        tray.stop();
    }
    EXPECT_TRUE(waitUntil([&] { return window.statusMenuButton() != nullptr; },
                          "the window to offer the menu again", 15s));

    app->delegate().applicationWillTerminate();
    app.reset();
}

} // namespace
} // namespace tovalit
