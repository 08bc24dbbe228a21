// The web fields people dictate into most, as chat and comment pages make
// them (the pages of bench/web-documents, each watching its own editor):
// an empty box whose hint the page draws inside the editor, and a one-line
// editor holding a mention chip or bold and italic words. The first
// dictation into the freshly opened page reads no hint as the user's text,
// and goes in by paste alone: a browser's rich-text editor never gets its
// whole text written over the accessibility bus, which would flatten its
// chips and formatting, or put the hint into the message.

#include "tests/support/browser_page_fixture.h"
#include "tests/support/qt_printers.h"

namespace tovalit {
namespace {

using testing::Browser;

class WebChatBoxTest : public testing::BrowserPageFixture {
protected:
    // `toldApart`: the browser shows the hint as drawn.
    void expectEmptyBox(const char *page, bool toldApart = true) {
        ASSERT_NO_FATAL_FAILURE(openWatchedPage(benchDocument(page), "the empty box to be ready"));

        const FocusedElementContext captured = capture();
        if (toldApart) {
            EXPECT_EQ(captured.surroundingTextBeforeCursor, std::nullopt);
            EXPECT_EQ(captured.selectedText, std::nullopt);
            EXPECT_EQ(captured.surroundingTextAfterCursor, std::nullopt);
        }

        expectPastedExactly(spoken, spoken);
        EXPECT_EQ(focusedAttribute<QString>(ax::value), spoken);
    }

    // The caret stands before words the dictation says again differently
    // ("明天" of "明天3点开会。"), so that the dictation takes their place:
    // the one insertion that would first try to write the field's whole
    // text.
    void expectLinePastedInto(const char *page) {
        ASSERT_NO_FATAL_FAILURE(openWatchedPage(benchDocument(page), "the line to be ready"));
        ASSERT_NO_FATAL_FAILURE(capture());

        expectPastedExactly(spoken, QStringLiteral("今天下午"));
        EXPECT_TRUE(logLines(QStringLiteral("insert.prepare")).value(0).endsWith(u"expanded=true"))
            << logLines().join(u'\n').toStdString();
    }

    const QString spoken = QStringLiteral("今天下午3点开会。");
};

TEST_P(WebChatBoxTest, AnEmptyBoxsHintIsNoContextAndThePasteThereIsVerified) {
    // The hint the editor's own style draws while it is empty. Chromium
    // marks it in no way: there it still reads as the box's text, and the
    // paste that leaves the box holding the dictation alone is what counts.
    expectEmptyBox("empty-chat-box.html", GetParam() == Browser::firefox);
}

TEST_P(WebChatBoxTest, AnEmptyParagraphsHintIsNoContextAndThePasteThereIsVerified) {
    // The hint a block editor's one empty paragraph draws.
    expectEmptyBox("empty-block-editor.html");
}

TEST_P(WebChatBoxTest, ALineWithAMentionChipIsPastedIntoAndNeverWrittenWhole) {
    expectLinePastedInto("chat-line-mention.html");
}

TEST_P(WebChatBoxTest, ALineWithBoldAndItalicWordsIsPastedIntoAndNeverWrittenWhole) {
    expectLinePastedInto("bold-italic-line.html");
}

INSTANTIATE_TEST_SUITE_P(Browsers, WebChatBoxTest,
                         ::testing::Values(Browser::firefox, Browser::chromium),
                         testing::BrowserPageFixture::browserName);

} // namespace
} // namespace tovalit
