// A web page's rich-text editor of the kind web mail and chat pages make:
// its paragraphs are elements of their own, and the editor's own text on
// the accessibility bus is one U+FFFC per paragraph, after a first line
// typed straight into it. Firefox and Chromium (X11 windows) show one; the
// first dictation into the page reads the text around the caret, over a
// table with empty cells, as its context, and the paste there is checked
// like any field's.

#include "tests/support/browser_page_fixture.h"
#include "tests/support/qt_printers.h"

namespace tovalit {
namespace {

using testing::Browser;

class WebRichTextEditorTest : public testing::BrowserPageFixture {
protected:
    // The browser shows the editor, which has the focus.
    void openEditor() {
        openPage(
            testing::WebPage::richTextEditor,
            [](AtspiBus &bus, const AtspiObject &focused) {
                const auto paragraphs = bus.children(focused);
                return paragraphs && paragraphs->size() >= 5;
            },
            "the browser's editor to have the focus");
    }
};

TEST_P(WebRichTextEditorTest, TheCaretsParagraphIsTheContextAndThePasteThereIsVerified) {
    ASSERT_NO_FATAL_FAILURE(openEditor());

    const FocusedElementContext captured = capture();
    // The empty cells of the table above it read empty, and the first line
    // typed straight into the editor is its own text.
    EXPECT_EQ(captured.surroundingTextBeforeCursor,
              QStringLiteral("开头一行\n第一段文字。\n甲\n第二"));
    EXPECT_EQ(captured.surroundingTextAfterCursor,
              QStringLiteral("段的内容在这里。\n第三段有一个链接。\n• 要点一"));
    // Firefox may have no place for the caret at the first read: absent,
    // never wrong, and there once the page has sent it.
    const FocusedElementContext again = capture();
    EXPECT_TRUE(again.caretRect.has_value());

    expectCheckedPaste(QStringLiteral("【口述】"));
    EXPECT_EQ(focusedAttribute<QString>(ax::value),
              testing::richTextEditorText().insert(testing::richTextEditorCaret,
                                                   QStringLiteral("【口述】")));
}

INSTANTIATE_TEST_SUITE_P(Browsers, WebRichTextEditorTest,
                         ::testing::Values(Browser::firefox, Browser::chromium),
                         testing::BrowserPageFixture::browserName);

} // namespace
} // namespace tovalit
