// A web page's rich-text editor of the kind web mail and chat pages make:
// its paragraphs are elements of their own, and the editor's own text on
// the accessibility bus is one U+FFFC per paragraph, after a first line
// typed straight into it. Firefox and Chromium (X11 windows) show one; the
// first dictation into the page reads the text around the caret, over a
// table with empty cells, as its context, and the paste there is checked
// like any field's.

#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/qt_clipboard_pasteboard.h"
#include "platform/linux/xtest_key_sender.h"
#include "services/context/focused_element_reader.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "tests/support/capture_log.h"
#include "tests/support/chromium_page.h"
#include "tests/support/firefox_page.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/x_clipboard_client.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::runTask;
using testing::waitUntil;
using testing::XClipboardClient;

enum class Browser { firefox, chromium };

class WebRichTextEditorTest : public testing::WithDiagnosticsLog,
                              public ::testing::WithParamInterface<Browser> {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        const QString program = GetParam() == Browser::firefox ? testing::FirefoxPage::program()
                                                               : testing::ChromiumPage::program();
        TOVALIT_REQUIRE_ENVIRONMENT(testing::hasTool(program), "the browser is needed");
        ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
        service = std::make_unique<FocusedInputInsertionService>(client, pasteboard,
                                                                 XTestKeySender::open());
    }

    void TearDown() override { service.reset(); }

    // The browser shows the editor, which has the focus.
    void openEditor() {
        QString failure;
        if (GetParam() == Browser::firefox) {
            firefox = testing::FirefoxPage::start(testing::FirefoxPage::Backend::x11, &failure,
                                                  testing::WebPage::richTextEditor);
            ASSERT_TRUE(firefox) << failure.toStdString();
            pid = firefox->processIdentifier();
        } else {
            chromium = testing::ChromiumPage::start(testing::WebPage::richTextEditor, &failure);
            ASSERT_TRUE(chromium) << failure.toStdString();
            pid = chromium->processIdentifier();
        }
        // Found without reading a text, on a connection of its own: the
        // capture is the first read of the page's texts, as a user's first
        // dictation into it is (Firefox then starts to keep them, and
        // answers the first reads with nothing).
        AtspiBus bus;
        ASSERT_TRUE(waitUntil(
            [&] {
                const auto service =
                    bus.connectIfEnabled() ? bus.serviceOfProcess(pid) : std::nullopt;
                const auto focused = service ? bus.focusedElement(*service) : std::nullopt;
                const auto paragraphs = focused ? bus.children(*focused) : std::nullopt;
                return paragraphs && paragraphs->size() >= 5;
            },
            "the browser's editor to have the focus", 60s));
    }

    // The focused element's text, read as the insertion reads it.
    std::optional<QString> editorText() {
        return runTask(thread->run([client = client, pid = pid]() -> std::optional<QString> {
            client->isProcessTrusted();
            const auto focused = accessibilityValueAs<AccessibilityElementRef>(
                client->applicationElement(pid)->attributeValue(ax::focusedUIElement));
            if (!focused || !*focused)
                return std::nullopt;
            return accessibilityValueAs<QString>((*focused)->attributeValue(ax::value));
        }));
    }

    ActiveInteractionContext context() const {
        ActiveInteractionContext context;
        context.appName = QStringLiteral("Browser");
        context.bundleID = QStringLiteral("browser");
        context.processIdentifier = pid;
        return context;
    }

    std::shared_ptr<AccessibilityThread> thread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<AtspiAccessibilityClient> client =
        std::make_shared<AtspiAccessibilityClient>(thread);
    std::shared_ptr<QtClipboardPasteboard> pasteboard = std::make_shared<QtClipboardPasteboard>();
    std::unique_ptr<FocusedInputInsertionService> service;
    std::unique_ptr<testing::FirefoxPage> firefox;
    std::unique_ptr<testing::ChromiumPage> chromium;
    qint32 pid = 0;
};

TEST_P(WebRichTextEditorTest, TheCaretsParagraphIsTheContextAndThePasteThereIsVerified) {
    ASSERT_NO_FATAL_FAILURE(openEditor());

    const FocusedElementContext captured = runTask(thread->run([client = client, pid = pid] {
        return FocusedElementReader::captureFocusedElementContext(*client, pid);
    }));
    // The empty cells of the table above it read empty, and the first line
    // typed straight into the editor is its own text.
    EXPECT_EQ(captured.surroundingTextBeforeCursor,
              QStringLiteral("开头一行\n第一段文字。\n甲\n第二"));
    EXPECT_EQ(captured.surroundingTextAfterCursor,
              QStringLiteral("段的内容在这里。\n第三段有一个链接。\n• 要点一"));
    // Firefox may have no place for the caret at the first read: absent,
    // never wrong, and there once the page has sent it.
    const FocusedElementContext again = runTask(thread->run([client = client, pid = pid] {
        return FocusedElementReader::captureFocusedElementContext(*client, pid);
    }));
    EXPECT_TRUE(again.caretRect.has_value());

    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);
    EXPECT_EQ(runTask(service->insert(QStringLiteral("【口述】"), context(), {})),
              InsertionResult::pastedFromClipboard)
        << logLines().join(u'\n').toStdString();
    // Read back at once, or, where a busy Firefox shows the paste later
    // than the check after it, by the reads that follow it: either way the
    // text as expected, nothing written over it.
    const QStringList result = logLines(QStringLiteral("insert.result"));
    EXPECT_TRUE(result ==
                    QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")} ||
                result == QStringList{QStringLiteral("result=pastedFromClipboard | path=changed")})
        << logLines().join(u'\n').toStdString();
    EXPECT_EQ(logLines(QStringLiteral("insert.direct")), QStringList());
    EXPECT_EQ(editorText(), testing::richTextEditorText().insert(testing::richTextEditorCaret,
                                                                 QStringLiteral("【口述】")));
    // The user's clipboard comes back.
    EXPECT_TRUE(waitUntil([] { return XClipboardClient::paste() == QStringLiteral("old"); },
                          "the user's clipboard to come back", 5s));
}

INSTANTIATE_TEST_SUITE_P(Browsers, WebRichTextEditorTest,
                         ::testing::Values(Browser::firefox, Browser::chromium),
                         [](const ::testing::TestParamInfo<Browser> &info) {
                             return info.param == Browser::firefox ? "Firefox" : "Chromium";
                         });

} // namespace
} // namespace tovalit
