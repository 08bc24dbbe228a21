#pragma once

#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/qt_clipboard_pasteboard.h"
#include "services/context/focused_element_reader.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "tests/support/capture_log.h"
#include "tests/support/chromium_page.h"
#include "tests/support/firefox_page.h"
#include "tests/support/run_task.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace tovalit::testing {

enum class Browser { firefox, chromium };

// A page in a real browser (an X11 window) with the project's context and
// insertion services built as the application builds them, for each
// browser in turn.
class BrowserPageFixture : public WithDiagnosticsLog,
                           public ::testing::WithParamInterface<Browser> {
public:
    // The name each browser's tests carry.
    static std::string browserName(const ::testing::TestParamInfo<Browser> &info);

protected:
    void SetUp() override;
    void TearDown() override;

    // Opens `page` and waits until `ready` says its focused element is
    // there, found on a connection of its own without reading a text of
    // it: the test's first read of the page's texts is the dictation's, as
    // a user's first dictation into a page is.
    using Ready = std::function<bool(AtspiBus &bus, const AtspiObject &focused)>;
    void openPage(WebPage page, const Ready &ready, const char *what);
    // The same for a page file that watches its own editor (as the pages
    // of bench/web-documents do): placed, it titles itself "ready", and
    // after a change "ok=1 new=<text>" when the text landed exactly at
    // its caret, "ok=0 ..." otherwise.
    void openWatchedPage(const QString &path, const char *what);
    // A page of bench/web-documents.
    static QString benchDocument(const char *name);
    // The page's title as its window shows it, without the browser's name.
    QString pageTitle() const;

    FocusedElementContext capture();
    // An attribute of the focused element, read as the insertion reads it.
    template <typename T>
    std::optional<T> focusedAttribute(const QString &attribute) {
        return runTask(thread->run([client = client, pid = pid, attribute]() -> std::optional<T> {
            client->isProcessTrusted();
            const auto focused = accessibilityValueAs<AccessibilityElementRef>(
                client->applicationElement(pid)->attributeValue(ax::focusedUIElement));
            if (!focused || !*focused)
                return std::nullopt;
            return accessibilityValueAs<T>((*focused)->attributeValue(attribute));
        }));
    }
    ActiveInteractionContext context() const;
    // Dictates `spoken` at the focused element over a clipboard the user
    // filled, and expects it pasted and checked: read back at once, or,
    // where a busy Firefox shows the paste later than the check after it,
    // by the reads that follow; never written over the field, and the
    // user's clipboard given back.
    void expectCheckedPaste(const QString &spoken);
    // The same, checked as verified, and the watched page says it landed
    // exactly at its caret as `landed`, with what the page marks to keep
    // still there.
    void expectPastedExactly(const QString &said, const QString &landed);

    std::shared_ptr<AccessibilityThread> thread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<AtspiAccessibilityClient> client =
        std::make_shared<AtspiAccessibilityClient>(thread);
    std::shared_ptr<QtClipboardPasteboard> pasteboard = std::make_shared<QtClipboardPasteboard>();
    std::unique_ptr<FocusedInputInsertionService> service;
    std::unique_ptr<FirefoxPage> firefox;
    std::unique_ptr<ChromiumPage> chromium;
    qint32 pid = 0;
};

} // namespace tovalit::testing
