#include "platform/linux/desktop_entry_index.h"
#include "platform/linux/x11_screen_capture.h"
#include "platform/linux/x11_window_system.h"
#include "platform/linux/xcb_connection.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::TestEditorProcess;
using testing::waitUntil;

class X11WindowSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        x = XcbConnection::open();
        ASSERT_TRUE(x);
        QFile entry(applications.filePath("org.example.GtkTextView.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Example Text\n"
                    "Name[zh_CN]=示例文本\nStartupWMClass=gtk_text_view\n");
        entry.close();
        windows = std::make_shared<X11WindowSystem>(
            x, std::make_shared<DesktopEntryIndex>(QStringList{applications.path()},
                                                   QStringLiteral("zh_CN")));
    }

    std::optional<qint32> frontmostPid() {
        auto front = windows->frontmostApplication();
        return front ? std::optional(front->processIdentifier) : std::nullopt;
    }

    QTemporaryDir applications;
    std::shared_ptr<XcbConnection> x;
    std::shared_ptr<X11WindowSystem> windows;
};

TEST_F(X11WindowSystemTest, FrontmostApplicationWindowListAndActivationFollowTheDesktop) {
    auto qt = TestEditorProcess::start(TestEditorProcess::Toolkit::Qt, QStringLiteral("Qt 窗口"),
                                       QStringLiteral("qt"), 0);
    ASSERT_TRUE(qt);
    auto gtk = TestEditorProcess::start(TestEditorProcess::Toolkit::Gtk, QStringLiteral("GTK 窗口"),
                                        QStringLiteral("gtk"), 0);
    ASSERT_TRUE(gtk);

    // The GTK editor came last and has the focus; its desktop entry names it.
    ASSERT_TRUE(waitUntil([&] { return frontmostPid() == gtk->processIdentifier(); },
                          "the GTK editor to be frontmost"));
    const auto front = windows->frontmostApplication();
    EXPECT_EQ(front->localizedName, QStringLiteral("示例文本"));
    EXPECT_EQ(front->bundleIdentifier, QStringLiteral("org.example.GtkTextView"));
    const auto qtApp = windows->runningApplication(qt->processIdentifier());
    ASSERT_TRUE(qtApp);
    EXPECT_EQ(qtApp->bundleIdentifier, QStringLiteral("qt_text_editor")) << "the window class";
    EXPECT_EQ(windows->runningApplications(QStringLiteral("org.example.GtkTextView")).size(), 1);
    EXPECT_EQ(windows->runningApplication(999999), std::nullopt);

    // Front to back: the GTK window, then the Qt window, each with its
    // title, owner and place on screen.
    const QList<WindowInfo> list = windows->onScreenWindows();
    ASSERT_GE(list.size(), 2);
    EXPECT_EQ(list[0].ownerProcessIdentifier, gtk->processIdentifier());
    EXPECT_EQ(list[0].name, QStringLiteral("GTK 窗口"));
    EXPECT_EQ(list[1].ownerProcessIdentifier, qt->processIdentifier());
    EXPECT_EQ(list[1].name, QStringLiteral("Qt 窗口"));
    for (const WindowInfo &window : list) {
        EXPECT_EQ(window.layer, 0);
        EXPECT_EQ(window.alpha, 1.0);
        ASSERT_TRUE(window.bounds);
        EXPECT_GE(window.bounds->width(), 600);
    }

    // Bringing the Qt editor back, as before a delivery.
    EXPECT_TRUE(windows->activate(*qtApp));
    EXPECT_TRUE(waitUntil([&] { return frontmostPid() == qt->processIdentifier(); },
                          "the Qt editor to come to the front"));
    EXPECT_EQ(windows->onScreenWindows().first().ownerProcessIdentifier, qt->processIdentifier());
}

TEST_F(X11WindowSystemTest, WindowPixelsAreReadWholeOrByArea) {
    auto gtk = TestEditorProcess::start(TestEditorProcess::Toolkit::Gtk, QStringLiteral("Pixels"),
                                        QStringLiteral("MMMMMMMM"), 0);
    ASSERT_TRUE(gtk);
    X11ScreenCapture capture(x, DisplaySession{});
    EXPECT_TRUE(capture.isCapturePermitted());
    std::optional<WindowInfo> window;
    for (const WindowInfo &info : windows->onScreenWindows()) {
        if (info.ownerProcessIdentifier == gtk->processIdentifier())
            window = info;
    }
    ASSERT_TRUE(window && window->bounds);
    const auto whole = capture.captureWindow(window->windowNumber, std::nullopt);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->width, int(window->bounds->width()));
    EXPECT_EQ(whole->height, int(window->bounds->height()));
    // The text is dark on light: some pixels are much darker than most.
    int dark = 0;
    for (char pixel : whole->pixels)
        dark += uchar(pixel) < 100 ? 1 : 0;
    EXPECT_GT(dark, 20);

    // An area hanging over the window's left edge is cut to the window.
    const QRectF area(window->bounds->x() - 50, window->bounds->y() + 10, 150, 40);
    const auto part = capture.captureWindow(window->windowNumber, area);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->width, 100);
    EXPECT_EQ(part->height, 40);
    EXPECT_EQ(capture.captureWindow(window->windowNumber, QRectF(-500, -500, 10, 10)),
              std::nullopt);
    EXPECT_EQ(capture.captureWindow(0x7fffff, std::nullopt), std::nullopt);
}

} // namespace
} // namespace tovalit
