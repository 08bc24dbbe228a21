// The floating panel on a real desktop (X server, window manager): it shows
// over the focused window of another application without taking the
// focus, and the pointer passes through its transparent parts to the
// window below.

#include "app/floating_panel_coordinator.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/xdotool.h"
#include "views/hud/floating_hud_panel.h"

#include <QApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::TestEditorProcess;
using testing::waitUntil;
using testing::xdotool;

// A search can fail when some other window goes away while it runs: it is
// repeated, within a limit.
quint64 windowNamed(const QString &title) {
    quint64 window = 0;
    waitUntil(
        [&] {
            const QString found = xdotool({QStringLiteral("search"), QStringLiteral("--name"),
                                           QLatin1Char('^') + title + QLatin1Char('$')});
            window = found.split(QLatin1Char('\n')).value(0).toULongLong();
            return window != 0;
        },
        "the window to be found by its title");
    return window;
}

quint64 focusedWindow() {
    return xdotool({QStringLiteral("getwindowfocus")}).toULongLong();
}

quint64 activeWindow() {
    return xdotool({QStringLiteral("getactivewindow")}).toULongLong();
}

bool isViewable(quint64 window) {
    QProcess process;
    process.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    process.waitForFinished(5000);
    return process.readAllStandardOutput().contains("IsViewable");
}

// Counts presses that reach any widget of our process.
class PressCounter : public QObject {
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType())
            ++presses;
        return false;
    }
};

class FloatingPanelDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            if (testing::inTestSession())
                FAIL() << "the desktop session has no X display";
            GTEST_SKIP() << "needs an X display with a window manager (scripts/test)";
        }
    }
};

TEST_F(FloatingPanelDesktopTest, ShowsOverTheFocusedWindowWithoutTakingFocusAndLetsClicksThrough) {
    // The window the pointer will reach through the panel, and the one the
    // user is typing in.
    auto below = TestEditorProcess::start(TestEditorProcess::Toolkit::Qt,
                                          QStringLiteral("hud-below"), QStringLiteral("下面"), 0);
    ASSERT_TRUE(below);
    auto typing =
        TestEditorProcess::start(TestEditorProcess::Toolkit::Qt, QStringLiteral("hud-typing"),
                                 QStringLiteral("正在输入"), 2);
    ASSERT_TRUE(typing);
    const quint64 belowWindow = windowNamed(QStringLiteral("hud-below"));
    const quint64 typingWindow = windowNamed(QStringLiteral("hud-typing"));
    ASSERT_NE(belowWindow, 0u);
    ASSERT_NE(typingWindow, 0u);
    xdotool({QStringLiteral("windowmove"), QStringLiteral("--sync"), QString::number(belowWindow),
             QStringLiteral("300"), QStringLiteral("460")});
    xdotool({QStringLiteral("windowmove"), QStringLiteral("--sync"), QString::number(typingWindow),
             QStringLiteral("0"), QStringLiteral("0")});
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"),
             QString::number(typingWindow)});
    ASSERT_TRUE(waitUntil([&] { return focusedWindow() == typingWindow; }, "the editor's focus"));

    PressCounter presses;
    qApp->installEventFilter(&presses);
    int cancels = 0;
    FloatingPanelCoordinator coordinator;
    coordinator.showRecording(
        {0.9, 0.9, 0.9, 0.9, 0.9}, RecordingHUDDisplayState::compact(),
        QStringLiteral("录音已超过 1 分钟，将在 9 秒后自动进入会议纪要模式"),
        QStringLiteral("取消"), [] {}, [] {}, [&] { ++cancels; });
    FloatingHUDPanel *panel = coordinator.panel();
    ASSERT_NE(panel, nullptr);
    const quint64 panelWindow = panel->winId();
    ASSERT_TRUE(waitUntil([&] { return isViewable(panelWindow); }, "the panel to be mapped"));

    // Where it was asked to be: bottom centre of the 1280 x 800 screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame = panel->frame().toRect();
    EXPECT_EQ(frame.size(), QSize(420, 136));
    EXPECT_EQ(frame.center().x(), screen.center().x());
    EXPECT_EQ(frame.bottom() + 1, screen.bottom() + 1 - 48);
    EXPECT_EQ(panel->geometry(), frame);

    // The focus stays with the editor.
    for (int check = 0; check < 5; ++check) {
        testing::pumpEvents(20);
        EXPECT_EQ(focusedWindow(), typingWindow);
        EXPECT_EQ(activeWindow(), typingWindow);
    }
    EXPECT_EQ(QApplication::activeWindow(), nullptr);

    // It is drawn on top: the level meter's middle bar is there, in the
    // brand colour.
    const QPoint meter = frame.topLeft() + QPoint(210, 112);
    ASSERT_TRUE(waitUntil(
        [&] {
            const QImage pixels = QGuiApplication::primaryScreen()
                                      ->grabWindow(0, meter.x(), meter.y(), 1, 1)
                                      .toImage();
            const QColor colour = pixels.pixelColor(0, 0);
            return colour.green() > 140 && colour.red() < 120;
        },
        "the panel's meter on screen"));

    // A click on the transparent part beside the capsule reaches the
    // window below, which takes the focus as clicked windows do.
    const QPoint through = frame.topLeft() + QPoint(40, 120);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(through.x()),
             QString::number(through.y())});
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    EXPECT_TRUE(waitUntil([&] { return focusedWindow() == belowWindow; },
                          "the window below the panel to be clicked"));
    testing::pumpEvents(50);
    EXPECT_EQ(presses.presses, 0) << "the panel saw the click";

    // A click on the drawn capsule is the panel's, and still takes no focus.
    const QPoint cancel = frame.topLeft() + QPoint(110 + 14 + 14, 88 + 24);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(cancel.x()),
             QString::number(cancel.y())});
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    EXPECT_TRUE(waitUntil([&] { return cancels == 1; }, "the cancel button to be pressed"));
    EXPECT_GE(presses.presses, 1);
    testing::pumpEvents(50);
    EXPECT_EQ(focusedWindow(), belowWindow);
    EXPECT_NE(focusedWindow(), panelWindow);
    EXPECT_TRUE(isViewable(panelWindow)) << "still shown over the clicked window";
    qApp->removeEventFilter(&presses);
}

TEST_F(FloatingPanelDesktopTest, TheMeetingPanelIsDrawnAllOverOnScreen) {
    FloatingPanelCoordinator coordinator;
    coordinator.showRecording(
        {}, RecordingHUDDisplayState::expandedMeeting({QStringLiteral("01:00"), {}, {}}),
        std::nullopt, std::nullopt, {}, [] {}, [] {});
    FloatingHUDPanel *panel = coordinator.panel();
    ASSERT_TRUE(waitUntil([&] { return isViewable(panel->winId()); }, "the panel to be mapped"));
    // The content card below the timeline's placeholder: glass, not a
    // hole (which shows black on a desktop without compositing).
    const QRect frame = panel->frame().toRect();
    const QPoint cardFloor = frame.topLeft() + QPoint(frame.width() / 2, frame.height() - 30);
    EXPECT_TRUE(waitUntil(
        [&] {
            const QColor colour = QGuiApplication::primaryScreen()
                                      ->grabWindow(0, cardFloor.x(), cardFloor.y(), 1, 1)
                                      .toImage()
                                      .pixelColor(0, 0);
            return colour.red() > 200 && colour.green() > 200 && colour.blue() > 200;
        },
        "the content card to be painted"));
}

} // namespace
} // namespace tovalit
