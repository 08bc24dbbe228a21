#include "platform/fake/fake_screen_capture.h"
#include "platform/fake/fake_window_system.h"
#include "platform/linux/linux_interaction_platform.h"
#include "platform/window_system.h"
#include "services/context/active_interaction_context_service.h"
#include "services/context/screen_text_capture.h"
#include "tests/support/capture_log.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::runTask;
using testing::TestEditorProcess;
using testing::waitUntil;

class InteractionContextIntegrationTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
    }

    // Waits until the editor's window is the frontmost application's.
    void waitForFront(const TestEditorProcess &editor) {
        ASSERT_TRUE(waitUntil(
            [&] {
                auto front = platform.windowSystem->frontmostApplication();
                return front && front->processIdentifier == editor.processIdentifier();
            },
            "the editor to be frontmost"));
    }

    ActiveInteractionContextService makeService(std::shared_ptr<ScreenCapture> screen) {
        return ActiveInteractionContextService(
            platform.accessibility, platform.windowSystem,
            std::make_shared<ScreenTextCapture>(platform.windowSystem, std::move(screen),
                                                platform.textRecognizer));
    }

    InteractionPlatform platform = makeLinuxInteractionPlatform();
};

TEST_F(InteractionContextIntegrationTest, QtEditorCaretAfterHelloGivesItsNeighbourhood) {
    auto editor =
        TestEditorProcess::start(TestEditorProcess::Toolkit::Qt, QStringLiteral("笔记 — Notes"),
                                 QStringLiteral("hello world"), 5);
    ASSERT_TRUE(editor);
    waitForFront(*editor);
    ActiveInteractionContextService service = makeService(platform.screenCapture);
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    EXPECT_EQ(context->processIdentifier, editor->processIdentifier());
    EXPECT_EQ(context->appName, QStringLiteral("qt_text_editor"));
    const NaturalFormattingContext &f = context->naturalFormattingContext;
    EXPECT_EQ(f.appProfileID, QStringLiteral("generic"));
    EXPECT_EQ(f.surroundingTextBeforeCursor, QStringLiteral("hello"));
    EXPECT_EQ(f.surroundingTextAfterCursor, QStringLiteral("world"));
    EXPECT_EQ(f.selectedText, std::nullopt);
    EXPECT_EQ(f.windowTitle, QStringLiteral("笔记 — Notes"));
    EXPECT_EQ(f.focusedElementRole, QStringLiteral("text"));
    // The caret sits inside the window, near its top left, one line tall.
    ASSERT_TRUE(f.caretRect);
    static const QRegularExpression relative(QStringLiteral(
        "^window-relative x=(0\\.\\d{3}) y=(0\\.\\d{3}) w=(0\\.\\d{3}) h=(0\\.\\d{3})$"));
    const auto match = relative.match(*f.caretRect);
    ASSERT_TRUE(match.hasMatch()) << f.caretRect->toStdString();
    EXPECT_LT(match.captured(1).toDouble(), 0.5);
    EXPECT_GT(match.captured(4).toDouble(), 0.02);
    // Rich text and a caret: only the crop around the caret is recognised.
    ASSERT_TRUE(f.caretAreaOCR);
    EXPECT_TRUE(f.caretAreaOCR->contains(QStringLiteral("hello"))) << f.caretAreaOCR->toStdString();
    EXPECT_EQ(f.screenshotOCR, std::nullopt);

    const QStringList lines = logLines(QStringLiteral("capture"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("app=qt_text_editor | bundle=qt_text_editor | "
                                                   "pid=%1 | profile=generic | role=text | desc=")
                                        .arg(editor->processIdentifier())))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral(
        " | before=hello | selected=<nil> | after=world | caret=window-relative x=")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral(" | window=笔记 — Notes | caretOCR=")));
    EXPECT_TRUE(logLines(QStringLiteral("capture.retry")).isEmpty());
}

TEST_F(InteractionContextIntegrationTest, GtkSelectionWithoutScreenCaptureGivesTheScreenCaret) {
    // "ab😀cd |hello| world": five characters before the selection.
    auto editor = TestEditorProcess::start(TestEditorProcess::Toolkit::Gtk, QStringLiteral("GTK"),
                                           QStringLiteral("ab😀cd hello world"), 11, 6);
    ASSERT_TRUE(editor);
    waitForFront(*editor);
    auto noCapture = std::make_shared<FakeScreenCapture>();
    noCapture->setPermitted(false);
    ActiveInteractionContextService service = makeService(noCapture);
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    const NaturalFormattingContext &f = context->naturalFormattingContext;
    EXPECT_EQ(f.selectedText, QStringLiteral("hello"));
    EXPECT_EQ(f.surroundingTextBeforeCursor, QStringLiteral("ab😀cd"));
    EXPECT_EQ(f.surroundingTextAfterCursor, QStringLiteral("world"));
    EXPECT_EQ(f.windowTitle, std::nullopt);
    ASSERT_TRUE(f.caretRect);
    static const QRegularExpression screen(
        QStringLiteral("^screen x=\\d+\\.\\d y=\\d+\\.\\d w=[1-9]\\d*\\.\\d h=[1-9]\\d*\\.\\d$"));
    EXPECT_TRUE(screen.match(*f.caretRect).hasMatch()) << f.caretRect->toStdString();
}

// A native window of a Wayland session, as the X server (here: one that
// knows no window) and the real accessibility bus see it.
TEST_F(InteractionContextIntegrationTest, ANativeWaylandWindowIsReadFromTheAccessibilityBus) {
    auto editor =
        TestEditorProcess::start(TestEditorProcess::Toolkit::Gtk, QStringLiteral("本地 — Wayland"),
                                 QStringLiteral("hello world"), 5);
    ASSERT_TRUE(editor);
    waitForFront(*editor);
    auto noXWindow = std::make_shared<FakeWindowSystem>();
    auto noCapture = std::make_shared<FakeScreenCapture>();
    noCapture->setPermitted(false);
    const DisplaySession wayland{true};
    ActiveInteractionContextService service(
        platform.accessibility, noXWindow,
        std::make_shared<ScreenTextCapture>(noXWindow, noCapture, platform.textRecognizer, wayland),
        systemSleeper(), wayland);
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    EXPECT_EQ(context->processIdentifier, editor->processIdentifier());
    EXPECT_EQ(context->appName, QStringLiteral("gtk_text_view"));
    EXPECT_EQ(context->bundleID, QStringLiteral("gtk.text.view"));
    const NaturalFormattingContext &f = context->naturalFormattingContext;
    EXPECT_EQ(f.windowTitle, QStringLiteral("本地 — Wayland"));
    EXPECT_EQ(f.surroundingTextBeforeCursor, QStringLiteral("hello"));
    EXPECT_EQ(f.surroundingTextAfterCursor, QStringLiteral("world"));
    EXPECT_EQ(logLines(QStringLiteral("capture.screen")).size(), 1);
}

TEST_F(InteractionContextIntegrationTest, WithoutTheAccessibilityBusTheIdentityStillComesQuickly) {
    auto editor = TestEditorProcess::start(TestEditorProcess::Toolkit::Gtk,
                                           QStringLiteral("No bus"), QStringLiteral("hello"), 5);
    ASSERT_TRUE(editor);
    waitForFront(*editor);
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=/nonexistent/tovalit-bus"));
    environment.insert(QStringLiteral("AT_SPI_BUS_ADDRESS"), QString());
    probe.setProcessEnvironment(environment);
    QElapsedTimer elapsed;
    elapsed.start();
    probe.start(testing::testToolPath(QStringLiteral("context_probe")), {});
    ASSERT_TRUE(probe.waitForFinished(20000));
    EXPECT_LT(elapsed.elapsed(), 10000);
    const QJsonObject result = QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
    EXPECT_EQ(result.value(QStringLiteral("processIdentifier")).toInt(),
              editor->processIdentifier());
    EXPECT_EQ(result.value(QStringLiteral("appName")).toString(), QStringLiteral("Gtk_text_view"));
    EXPECT_FALSE(result.contains(QStringLiteral("surroundingTextBeforeCursor")));
    EXPECT_EQ(
        logLines(QStringLiteral("capture.retry")),
        QStringList{
            QStringLiteral("unresolved pid=%1 | attempts=4").arg(editor->processIdentifier())});
    EXPECT_EQ(logLines(QStringLiteral("capture")).size(), 1);
}

} // namespace
} // namespace tovalit
