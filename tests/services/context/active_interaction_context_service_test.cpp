#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_screen_capture.h"
#include "platform/fake/fake_window_system.h"
#include "services/context/active_interaction_context_service.h"
#include "services/context/screen_text_capture.h"
#include "tests/support/capture_log.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Service = ActiveInteractionContextService;
using testing::runTask;

QCoro::Task<void> recordSleep(QList<double> *sleeps, std::function<void(int)> *onSleep,
                              double seconds) {
    sleeps->append(seconds);
    if (*onSleep)
        (*onSleep)(int(sleeps->size()));
    co_return;
}

class ActiveInteractionContextServiceTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override {
        windows->setFrontmost(RunningApplication{42, QStringLiteral("  Notes  "),
                                                 QStringLiteral("org.example.Notes")});
        screen->setPermitted(false);
    }

    Service makeService(DisplaySession session = {}) {
        return Service(
            accessibility, windows,
            std::make_shared<ScreenTextCapture>(windows, screen, recognizer, session),
            [this](double seconds, CancelToken) { return recordSleep(&sleeps, &onSleep, seconds); },
            session);
    }

    // A native window of a Wayland session, known to the accessibility bus
    // only: its application, its window, and a field in it.
    void focusNativeWindow() {
        auto app = FakeAccessibilityElement::create(QStringLiteral("app-77"));
        app->set(ax::title, QStringLiteral(" Mousepad "));
        auto window = FakeAccessibilityElement::create(QStringLiteral("window"));
        window->set(ax::title, QStringLiteral("  笔记  —  Plans "));
        auto panel = FakeAccessibilityElement::create(QStringLiteral("panel"));
        auto field = FakeAccessibilityElement::create(QStringLiteral("field"));
        field->set(ax::value, QStringLiteral("hello world"))
            .set(ax::selectedTextRange, AccessibilityRange{5, 0})
            .set(ax::roleDescription, QStringLiteral("text"))
            .setProcessIdentifier(77);
        app->appendChild(window);
        window->appendChild(panel);
        panel->appendChild(field);
        app->set(ax::focusedUIElement, AccessibilityElementRef(field));
        accessibility->setApplication(77, app);
        accessibility->systemWide()->set(ax::focusedUIElement, AccessibilityElementRef(field));
    }

    std::shared_ptr<FakeAccessibilityElement> focusField(const QString &value,
                                                         AccessibilityRange range) {
        auto field = FakeAccessibilityElement::create(QStringLiteral("field"));
        field->set(ax::value, value)
            .set(ax::selectedTextRange, range)
            .set(ax::roleDescription, QStringLiteral("text area"));
        auto app = FakeAccessibilityElement::create(QStringLiteral("app"));
        app->set(ax::focusedUIElement, AccessibilityElementRef(field));
        accessibility->setApplication(42, app);
        return field;
    }

    std::shared_ptr<FakeAccessibilityClient> accessibility =
        std::make_shared<FakeAccessibilityClient>();
    std::shared_ptr<FakeWindowSystem> windows = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<FakeScreenCapture> screen = std::make_shared<FakeScreenCapture>();
    std::shared_ptr<FakeTextRecognizer> recognizer = std::make_shared<FakeTextRecognizer>();
    QList<double> sleeps;
    std::function<void(int)> onSleep;
};

TEST_F(ActiveInteractionContextServiceTest, CaptureCarriesIdentityTextsAndProfileAndLogsOneLine) {
    auto field = focusField(QStringLiteral("Dear team,\nhello world"), {16, 0});
    field->set(ax::roleDescription, QStringLiteral("text\narea"));
    field->set(ax::title, QString(121, QLatin1Char('t')));
    field->setTextGeometry(QRectF(10, 20, 8, 16));
    field->answer(ax::boundsForRange, [](const AccessibilityValue &) {
        return std::optional<AccessibilityValue>(QRectF(500, 300, 2, 18));
    });
    Service service = makeService();
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    EXPECT_EQ(context->appName, QStringLiteral("Notes"));
    EXPECT_EQ(context->bundleID, QStringLiteral("org.example.Notes"));
    EXPECT_EQ(context->processIdentifier, 42);
    const NaturalFormattingContext &f = context->naturalFormattingContext;
    EXPECT_EQ(f.appProfileID, QStringLiteral("generic"));
    EXPECT_EQ(f.surroundingTextBeforeCursor, QStringLiteral("Dear team,\nhello"));
    EXPECT_EQ(f.surroundingTextAfterCursor, QStringLiteral("world"));
    EXPECT_EQ(f.focusedElementRole, QStringLiteral("text\narea"));
    EXPECT_EQ(f.caretRect, QStringLiteral("screen x=500.0 y=300.0 w=2.0 h=18.0"));
    EXPECT_EQ(f.windowTitle, std::nullopt) << "no screen capture, no title";
    EXPECT_TRUE(sleeps.isEmpty());
    EXPECT_EQ(logLines(QStringLiteral("capture")),
              QStringList{QStringLiteral("app=Notes | bundle=org.example.Notes | pid=42 | "
                                         "profile=generic | role=text\\narea | desc=") +
                          QString(120, QLatin1Char('t')) +
                          QStringLiteral("... | before=Dear team,\\nhello | selected=<nil> | "
                                         "after=world | caret=screen x=500.0 y=300.0 w=2.0 "
                                         "h=18.0 | window=<nil> | caretOCR=<nil>")});
    EXPECT_TRUE(logLines(QStringLiteral("capture.retry")).isEmpty());
}

TEST_F(ActiveInteractionContextServiceTest, ACaretWithoutTextEndsTheReadsAtOnce) {
    auto field = FakeAccessibilityElement::create(QStringLiteral("canvas"));
    field->set(ax::selectedTextRange, AccessibilityRange{0, 0});
    field->answer(ax::boundsForRange, [](const AccessibilityValue &) {
        return std::optional<AccessibilityValue>(QRectF(1, 2, 3, 4));
    });
    auto app = FakeAccessibilityElement::create(QStringLiteral("app"));
    app->set(ax::focusedUIElement, AccessibilityElementRef(field));
    accessibility->setApplication(42, app);
    Service service = makeService();
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    EXPECT_EQ(context->naturalFormattingContext.caretRect,
              QStringLiteral("screen x=1.0 y=2.0 w=3.0 h=4.0"));
    EXPECT_TRUE(sleeps.isEmpty());
}

// Qt gives an empty field no caret rectangle: the field has told all there
// is all the same, and the window around it is no place to look for more.
TEST_F(ActiveInteractionContextServiceTest, AnEmptyFieldAnswersAtOnceWithoutReadingTheWindow) {
    screen->setPermitted(true);
    windows->setWindows(
        {WindowInfo{9, 42, 0, 1.0, QRectF(0, 0, 1200, 800), QStringLiteral("Form")}});
    screen->setCapturable(9, QRectF(0, 0, 1200, 800));
    recognizer->setLines(1200, 800, QStringList{QStringLiteral("Name: Send")});
    focusField(QString(), {0, 0})->set(ax::characterCount, AccessibilityRange{0, 0});
    Service service = makeService();
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    const NaturalFormattingContext &f = context->naturalFormattingContext;
    EXPECT_EQ(f.surroundingTextBeforeCursor, std::nullopt);
    EXPECT_EQ(f.focusedElementRole, QStringLiteral("text area"));
    EXPECT_EQ(f.screenshotOCR, std::nullopt);
    EXPECT_EQ(recognizer->recognitionCount(), 0);
    EXPECT_TRUE(sleeps.isEmpty());

    // A field that says it holds text it does not give yet is not empty.
    sleeps.clear();
    focusField(QString(), {0, 0})->set(ax::characterCount, AccessibilityRange{0, 12});
    const auto unsent = runTask(service.captureCurrentContext());
    ASSERT_TRUE(unsent);
    EXPECT_EQ(sleeps.size(), 3);
}

TEST_F(ActiveInteractionContextServiceTest, UnreadableFieldsAreReadFourTimesThenGivenUp) {
    accessibility->setTrusted(false);
    windows->setFrontmost(RunningApplication{42, QStringLiteral(" "), std::nullopt});
    Service service = makeService();
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    EXPECT_EQ(context->appName, QStringLiteral("Unknown App"));
    EXPECT_EQ(context->bundleID, QStringLiteral("unknown.app"));
    EXPECT_EQ(context->naturalFormattingContext.appProfileID, QStringLiteral("generic"));
    EXPECT_EQ(context->naturalFormattingContext.surroundingTextBeforeCursor, std::nullopt);
    EXPECT_EQ(sleeps, (QList<double>{0.04, 0.04, 0.04}));
    EXPECT_EQ(logLines(QStringLiteral("capture.retry")),
              QStringList{QStringLiteral("unresolved pid=42 | attempts=4")});
    EXPECT_EQ(logLines(QStringLiteral("capture")).size(), 1);
}

TEST_F(ActiveInteractionContextServiceTest, TextFoundAtTheThirdReadIsLoggedAsResolved) {
    accessibility->setTrusted(false);
    onSleep = [this](int pause) {
        if (pause == 2) {
            accessibility->setTrusted(true);
            focusField(QStringLiteral("late"), {4, 0});
        }
    };
    Service service = makeService();
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    EXPECT_EQ(context->naturalFormattingContext.surroundingTextBeforeCursor,
              QStringLiteral("late"));
    EXPECT_EQ(sleeps.size(), 2);
    EXPECT_EQ(logLines(QStringLiteral("capture.retry")),
              QStringList{QStringLiteral("resolved pid=42 | attempt=3")});
}

TEST_F(ActiveInteractionContextServiceTest, NoFrontmostApplicationGivesNothingAndNoLine) {
    windows->setFrontmost(std::nullopt);
    Service service = makeService();
    EXPECT_EQ(runTask(service.captureCurrentContext()), std::nullopt);
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(ActiveInteractionContextServiceTest, ANativeWaylandWindowIsTakenFromTheAccessibilityBus) {
    focusNativeWindow();
    windows->setFrontmost(std::nullopt);
    // In an X11 session the X server has the last word.
    EXPECT_EQ(runTask(makeService().captureCurrentContext()), std::nullopt);

    Service service = makeService(DisplaySession{true});
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    EXPECT_EQ(context->appName, QStringLiteral("Mousepad"));
    EXPECT_EQ(context->bundleID, QStringLiteral("mousepad"));
    EXPECT_EQ(context->processIdentifier, 77);
    const NaturalFormattingContext &f = context->naturalFormattingContext;
    EXPECT_EQ(f.windowTitle, QStringLiteral("笔记 — Plans"));
    EXPECT_EQ(f.surroundingTextBeforeCursor, QStringLiteral("hello"));
    EXPECT_EQ(f.surroundingTextAfterCursor, QStringLiteral("world"));
    EXPECT_EQ(f.focusedElementRole, QStringLiteral("text"));
    EXPECT_EQ(logLines(QStringLiteral("capture.app")),
              QStringList{QStringLiteral("from-accessibility pid=77 | xActivePid=<nil>")});
    EXPECT_EQ(
        logLines(QStringLiteral("capture.screen")),
        QStringList{QStringLiteral("off | reason=wayland-session | other windows cannot be read")});

    // The X server's active window is another application's.
    windows->setFrontmost(RunningApplication{7, QStringLiteral("Terminal"), std::nullopt});
    const auto behindAnXWindow = runTask(service.captureCurrentContext());
    ASSERT_TRUE(behindAnXWindow);
    EXPECT_EQ(behindAnXWindow->processIdentifier, 77);
    EXPECT_EQ(behindAnXWindow->naturalFormattingContext.windowTitle,
              QStringLiteral("笔记 — Plans"));
}

TEST_F(ActiveInteractionContextServiceTest, AnXWaylandWindowKeepsTheXServersIdentity) {
    focusNativeWindow();
    windows->setFrontmost(
        RunningApplication{77, QStringLiteral("Notes"), QStringLiteral("org.example.Notes")});
    Service service = makeService(DisplaySession{true});
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    EXPECT_EQ(context->appName, QStringLiteral("Notes"));
    EXPECT_EQ(context->bundleID, QStringLiteral("org.example.Notes"));
    EXPECT_EQ(context->naturalFormattingContext.surroundingTextBeforeCursor,
              QStringLiteral("hello"));
    EXPECT_TRUE(logLines(QStringLiteral("capture.app")).isEmpty());

    // Nobody has the focus on the bus: the X server's word stands.
    accessibility->systemWide()->remove(ax::focusedUIElement);
    windows->setFrontmost(RunningApplication{7, QStringLiteral("Terminal"), std::nullopt});
    const auto terminal = runTask(service.captureCurrentContext());
    ASSERT_TRUE(terminal);
    EXPECT_EQ(terminal->processIdentifier, 7);
}

TEST_F(ActiveInteractionContextServiceTest, ScreenTextFillsTitleCaretPlaceAndCaretAreaText) {
    screen->setPermitted(true);
    windows->setWindows(
        {WindowInfo{9, 42, 0, 1.0, QRectF(0, 0, 1200, 800), QStringLiteral("  Draft  —  Notes ")}});
    screen->setCapturable(9, QRectF(0, 0, 1200, 800));
    recognizer->setLines(442, 378, QStringList{QStringLiteral("hello world")});
    auto field = focusField(QStringLiteral("hello world"), {5, 0});
    field->answer(ax::boundsForRange, [](const AccessibilityValue &) {
        return std::optional<AccessibilityValue>(QRectF(500, 300, 2, 18));
    });
    Service service = makeService();
    const auto context = runTask(service.captureCurrentContext());
    ASSERT_TRUE(context);
    const NaturalFormattingContext &f = context->naturalFormattingContext;
    EXPECT_EQ(f.caretRect, QStringLiteral("window-relative x=0.417 y=0.375 w=0.002 h=0.022"));
    EXPECT_EQ(f.windowTitle, QStringLiteral("Draft — Notes"));
    EXPECT_EQ(f.caretAreaOCR, QStringLiteral("hello world"));
    EXPECT_EQ(f.screenshotOCR, std::nullopt);
}

TEST_F(ActiveInteractionContextServiceTest, ActivationSkipsTheFrontmostAndOtherwiseWaitsItsPause) {
    Service service = makeService();
    runTask(service.activate(std::nullopt));
    ActiveInteractionContext context{
        QStringLiteral("Notes"), QStringLiteral("org.example.Notes"), 42, {}};
    runTask(service.activate(context));
    EXPECT_TRUE(sleeps.isEmpty());
    EXPECT_TRUE(windows->activations().isEmpty());

    // Another application is in front: the context's process comes back.
    windows->setFrontmost(RunningApplication{7, QStringLiteral("Term"), std::nullopt});
    const RunningApplication notes{42, QStringLiteral("Notes"),
                                   QStringLiteral("org.example.Notes")};
    const RunningApplication other{51, QStringLiteral("Notes"),
                                   QStringLiteral("org.example.Notes")};
    windows->setRunning({other, notes});
    runTask(service.activate(context));
    EXPECT_EQ(windows->activations(), QList<RunningApplication>{notes});

    // The process has gone: the first running application of its kind.
    windows->setRunning({other});
    runTask(service.activate(context));
    EXPECT_EQ(windows->activations().last(), other);

    // Nothing to bring back (a native window of a Wayland session, which
    // the X server does not know): nothing to wait for either.
    windows->setRunning({});
    runTask(service.activate(context));
    EXPECT_EQ(windows->activations().size(), 2);
    EXPECT_EQ(sleeps, (QList<double>{0.12, 0.12}));
}

TEST(ActiveInteractionContextServiceText, NormalizationKeepsLinesAndCutsWholeCharacters) {
    EXPECT_EQ(Service::normalizeOCRText(std::nullopt, 10), std::nullopt);
    EXPECT_EQ(Service::normalizeOCRText(QStringLiteral(" \n\t \r\n"), 10), std::nullopt);
    EXPECT_EQ(Service::normalizeOCRText(QStringLiteral("  two \t  words  \n\nthird"), 100),
              QStringLiteral("two words\nthird"));
    EXPECT_EQ(Service::normalizeOCRText(QStringLiteral("a\r\nb\u2028c\u3000\u3000d"), 100),
              QStringLiteral("a\nb\nc d"));
    EXPECT_EQ(Service::normalizeOCRText(QStringLiteral("👍🏽👍🏽x"), 1),
              QStringLiteral("👍🏽"));
}

TEST(ActiveInteractionContextServiceText, NamesAndIdentifiersFallBackAsDocumented) {
    EXPECT_EQ(Service::normalizedAppName(std::nullopt), QStringLiteral("Unknown App"));
    EXPECT_EQ(Service::normalizedAppName(QStringLiteral(" \n")), QStringLiteral("Unknown App"));
    EXPECT_EQ(Service::normalizedBundleID(std::nullopt, QStringLiteral("Foo  Bar 2")),
              QStringLiteral("foo.bar.2"));
    EXPECT_EQ(Service::normalizedBundleID(QStringLiteral(""), QStringLiteral("__Notes__")),
              QStringLiteral("notes"));
    EXPECT_EQ(Service::normalizedBundleID(std::nullopt, QStringLiteral("微信")), QString());
    EXPECT_EQ(Service::normalizedBundleID(QStringLiteral(" Com.Example.App "), QStringLiteral("x")),
              QStringLiteral("Com.Example.App"));
}

} // namespace
} // namespace tovalit
