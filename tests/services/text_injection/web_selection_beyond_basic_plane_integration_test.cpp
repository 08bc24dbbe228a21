// A web page's rich-text editor whose paragraphs hold a rare CJK ideograph
// and emoji of several code points, with words after them selected by the
// page. Chromium reports such a selection in units of its own, Firefox as
// the user's UTF-16 text: in both, the first dictation into the page reads
// exactly the user's selection as its context, and the paste over it lands
// in its place and is checked there.

#include "tests/support/browser_page_fixture.h"
#include "tests/support/qt_printers.h"

namespace tovalit {
namespace {

using testing::Browser;

class WebSelectionBeyondBasicPlaneTest : public testing::BrowserPageFixture {
protected:
    // The browser shows the editor, which has the focus and the page's
    // selection.
    void openEditor() {
        openPage(
            testing::WebPage::richTextSelectionBeyondBasicPlane,
            [](AtspiBus &bus, const AtspiObject &focused) {
                const auto paragraphs = bus.children(focused);
                return paragraphs && paragraphs->size() >= 3;
            },
            "the browser's editor to have the focus");
    }
};

TEST_P(WebSelectionBeyondBasicPlaneTest, TheSelectionAfterTheEmojiIsTheUsersOwn) {
    ASSERT_NO_FATAL_FAILURE(openEditor());
    const QString text = testing::richTextBeyondBasicPlane();
    const qsizetype start = testing::richTextBeyondBasicPlaneSelectionStart;
    const qsizetype length = testing::richTextBeyondBasicPlaneSelectionLength;

    const FocusedElementContext captured = capture();
    EXPECT_EQ(captured.selectedText, QStringLiteral("内容"));
    EXPECT_EQ(captured.surroundingTextBeforeCursor, text.left(start));
    EXPECT_EQ(captured.surroundingTextAfterCursor, text.mid(start + length));

    const QString spoken = QStringLiteral("【口述】");
    expectCheckedPaste(spoken);
    EXPECT_EQ(focusedAttribute<QString>(ax::value), QString(text).replace(start, length, spoken));
}

// Where Chromium cannot tell the selection at all (an end of it right
// after a family emoji), the context leaves it out, and the paste over it
// is checked all the same, by the stretch of the paragraph it replaced:
// the user's clipboard comes back.
TEST_P(WebSelectionBeyondBasicPlaneTest, APasteOverASelectionBesideAFamilyEmojiIsChecked) {
    ASSERT_NO_FATAL_FAILURE(openWatchedPage(benchDocument("selection-of-family-emoji.html"),
                                            "the selection to be ready"));
    ASSERT_NO_FATAL_FAILURE(capture());

    const QString spoken = QStringLiteral("今天下午3点开会。");
    expectPastedExactly(spoken, spoken);
}

// A selection from right after an emoji into the next paragraph: the
// paste joins the two paragraphs, and is checked where the caret went.
TEST_P(WebSelectionBeyondBasicPlaneTest, APasteOverASelectionIntoTheNextParagraphIsChecked) {
    ASSERT_NO_FATAL_FAILURE(openWatchedPage(benchDocument("selection-into-next-paragraph.html"),
                                            "the selection to be ready"));
    ASSERT_NO_FATAL_FAILURE(capture());

    const QString spoken = QStringLiteral("今天下午3点开会。");
    expectPastedExactly(spoken, spoken);
}

INSTANTIATE_TEST_SUITE_P(Browsers, WebSelectionBeyondBasicPlaneTest,
                         ::testing::Values(Browser::firefox, Browser::chromium),
                         testing::BrowserPageFixture::browserName);

} // namespace
} // namespace tovalit
