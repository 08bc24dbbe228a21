#include "platform/fake/fake_screen_capture.h"
#include "platform/fake/fake_window_system.h"
#include "services/context/screen_text_capture.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::runTask;

FocusedElementContext withCaret(QRectF caret, bool richText) {
    FocusedElementContext focused;
    focused.caretRect = caret;
    if (richText)
        focused.surroundingTextBeforeCursor = QStringLiteral("hello");
    return focused;
}

class ScreenTextCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        windows->setWindows({WindowInfo{9, 42, 0, 1.0, window, QStringLiteral("Draft")}});
        screen->setCapturable(9, window);
    }

    const QRectF window{0, 0, 1200, 800};
    std::shared_ptr<FakeWindowSystem> windows = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<FakeScreenCapture> screen = std::make_shared<FakeScreenCapture>();
    std::shared_ptr<FakeTextRecognizer> recognizer = std::make_shared<FakeTextRecognizer>();
    ScreenTextCapture capture{windows, screen, recognizer};
};

TEST_F(ScreenTextCaptureTest, WithoutPermissionNothingIsReadAtAll) {
    screen->setPermitted(false);
    const auto artifacts =
        runTask(capture.captureScreenCaptureArtifacts(42, withCaret({500, 300, 2, 18}, false)));
    EXPECT_EQ(artifacts, ScreenCaptureArtifacts{});
    EXPECT_EQ(windows->windowListReads(), 0);
}

TEST_F(ScreenTextCaptureTest, CaretCropHasGenerousMarginsCutAtTheWindow) {
    EXPECT_EQ(ScreenTextCapture::expandedCaptureRect({500, 300, 2, 18}, window),
              QRectF(280, 120, 442, 378));
    EXPECT_EQ(ScreenTextCapture::expandedCaptureRect({0, 300, 40, 18}, window),
              QRectF(0, 120, 360, 378))
        << "wide carets get eight widths, cut at the left edge";
    EXPECT_TRUE(ScreenTextCapture::expandedCaptureRect({2000, 2000, 2, 18}, window).isEmpty());
    EXPECT_EQ(ScreenTextCapture::formatRect({500, 300, 2, 18}, window),
              QStringLiteral("window-relative x=0.417 y=0.375 w=0.002 h=0.022"));
    EXPECT_EQ(ScreenTextCapture::formatRect({5, 10, 2, 20}, {3, 0, 1, 0.5}),
              QStringLiteral("window-relative x=2.000 y=10.000 w=2.000 h=20.000"));
    EXPECT_EQ(ScreenTextCapture::formatGlobalRect(std::nullopt), std::nullopt);
}

TEST_F(ScreenTextCaptureTest, RichTextWithACaretRecognisesOnlyTheCrop) {
    recognizer->setLines(442, 378, QStringList{QStringLiteral("  near  the  caret ")});
    const auto artifacts = capture.collect(42, withCaret({500, 300, 2, 18}, true));
    EXPECT_EQ(artifacts.caretAreaOCR, QStringLiteral("near the caret"));
    EXPECT_EQ(artifacts.screenshotOCR, std::nullopt);
    EXPECT_EQ(artifacts.windowTitle, QStringLiteral("Draft"));
    EXPECT_EQ(recognizer->recognitionCount(), 1);
    ASSERT_EQ(screen->requests().size(), 2);
    EXPECT_EQ(screen->requests()[1].area, QRectF(280, 120, 442, 378));

    // Rich text and no caret: no recognition at all, only the title.
    FocusedElementContext selectionOnly;
    selectionOnly.selectedText = QStringLiteral("sel");
    const auto noCaret = capture.collect(42, selectionOnly);
    EXPECT_EQ(noCaret, (ScreenCaptureArtifacts{std::nullopt, std::nullopt, std::nullopt,
                                               QStringLiteral("Draft")}));
    EXPECT_EQ(recognizer->recognitionCount(), 1);
}

TEST_F(ScreenTextCaptureTest, TheWholeWindowIsReadOnlyWhenNothingCheaperGaveText) {
    recognizer->setLines(1200, 800, QStringList{QString(1500, QLatin1Char('w'))});
    recognizer->setLines(442, 378, QStringList{QString(1500, QLatin1Char('c'))});
    const auto crop = capture.collect(42, withCaret({500, 300, 2, 18}, false));
    EXPECT_EQ(crop.caretAreaOCR, QString(420, QLatin1Char('c')));
    EXPECT_EQ(crop.screenshotOCR, std::nullopt);

    // The caret outside the window: no crop, so the whole window.
    const auto outside = capture.collect(42, withCaret({5000, 300, 2, 18}, false));
    EXPECT_EQ(outside.caretAreaOCR, std::nullopt);
    EXPECT_EQ(outside.screenshotOCR, QString(1200, QLatin1Char('w')));
    EXPECT_TRUE(
        outside.caretRectDescription->startsWith(QStringLiteral("window-relative x=4.167")));

    // A crop that recognised nothing counts as no text either.
    recognizer->setLines(442, 378, QStringList{});
    const auto empty = capture.collect(42, withCaret({500, 300, 2, 18}, false));
    EXPECT_EQ(empty.screenshotOCR, QString(1200, QLatin1Char('w')));
}

TEST_F(ScreenTextCaptureTest, TheRecognizerIsLoadedOncePerCaptureAndReleasedAfterIt) {
    // The crop reads nothing, so the whole window is read as well: two
    // recognitions on one load.
    recognizer->setLines(442, 378, QStringList{});
    recognizer->setLines(1200, 800, QStringList{QStringLiteral("window")});
    EXPECT_EQ(capture.collect(42, withCaret({500, 300, 2, 18}, false)).screenshotOCR,
              QStringLiteral("window"));
    EXPECT_EQ(recognizer->recognitionCount(), 2);
    EXPECT_EQ(recognizer->loadCount(), 1);
    EXPECT_FALSE(recognizer->holdsResources()) << "models kept resident after the capture";

    runTask(capture.captureScreenCaptureArtifacts(42, withCaret({500, 300, 2, 18}, false)));
    EXPECT_EQ(recognizer->loadCount(), 2);
    EXPECT_FALSE(recognizer->holdsResources());
}

TEST_F(ScreenTextCaptureTest, OnlyOrdinaryVisibleWindowsOfTheProcessQualify) {
    windows->setWindows({
        WindowInfo{1, 42, 0, 1.0, QRectF(0, 0, 30, 30), QStringLiteral("palette")},
        WindowInfo{2, 42, 20, 1.0, QRectF(0, 0, 1200, 30), QStringLiteral("menu bar")},
        WindowInfo{3, 42, 0, 0.0, QRectF(0, 0, 500, 500), QStringLiteral("invisible")},
        WindowInfo{4, 7, 0, 1.0, QRectF(0, 0, 500, 500), QStringLiteral("other process")},
        WindowInfo{5, 42, std::nullopt, 1.0, QRectF(0, 0, 500, 500), QStringLiteral("no layer")},
        WindowInfo{6, 42, 0, 1.0, QRectF(0, 0, 500, 500), QStringLiteral("gone")},
    });
    EXPECT_EQ(capture.frontmostWindowSnapshot(42), std::nullopt);
    EXPECT_EQ(capture.collect(42, withCaret({10, 10, 2, 18}, false)), ScreenCaptureArtifacts{});

    screen->setCapturable(6, QRectF(0, 0, 500, 500));
    const auto snapshot = capture.frontmostWindowSnapshot(42);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->windowNumber, 6u);
    EXPECT_EQ(snapshot->title, QStringLiteral("gone"));
}

TEST_F(ScreenTextCaptureTest, FailedRecognitionLeavesTheTextAbsent) {
    recognizer->setLines(1200, 800, std::nullopt);
    const auto artifacts = capture.collect(42, FocusedElementContext{});
    EXPECT_EQ(artifacts.screenshotOCR, std::nullopt);
    EXPECT_EQ(artifacts.windowTitle, QStringLiteral("Draft"));
}

} // namespace
} // namespace tovalit
