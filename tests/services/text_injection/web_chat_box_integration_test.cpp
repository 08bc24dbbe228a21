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
    // The hint the editor's own style draws while it is empty.
    expectEmptyBox("empty-chat-box.html");
}

TEST_P(WebChatBoxTest, AnEmptyParagraphsHintIsNoContextAndThePasteThereIsVerified) {
    // The hint a block editor's one empty paragraph draws.
    expectEmptyBox("empty-block-editor.html");
}

TEST_P(WebChatBoxTest, AHintDrawnPositionedOverTheEmptyBoxIsNoTextAndTheBoxIsFound) {
    // Drawn out of the line's flow so that the caret stays at the box's
    // left edge: on a box holding only a line break, kept by the page's
    // class, and on a box that is truly empty.
    expectEmptyBox("empty-box-positioned-hint.html");
}

TEST_P(WebChatBoxTest, AHintDrawnPositionedOverATrulyEmptyBoxIsNoTextAndTheBoxIsFound) {
    expectEmptyBox("empty-chat-box-positioned.html");
}

TEST_P(WebChatBoxTest, AHintDrawnAfterTheEmptyBoxsContentIsNoContext) {
    expectEmptyBox("empty-box-hint-after.html");
}

// A <br> the editor ends in, which the browser drops once text follows it
// or keeps after a one-line box's text: no difference to the check.
TEST_P(WebChatBoxTest, ATrailingBreakDroppedOrKeptDoesNotFailTheCheck) {
    ASSERT_NO_FATAL_FAILURE(
        openWatchedPage(benchDocument("lines-trailing-break.html"), "the lines to be ready"));
    ASSERT_NO_FATAL_FAILURE(capture());
    expectPastedExactly(spoken, spoken);
}

TEST_P(WebChatBoxTest, ATrailingBreakAfterAChipLineDoesNotFailTheCheck) {
    ASSERT_NO_FATAL_FAILURE(
        openWatchedPage(benchDocument("chat-line-trailing-break.html"), "the line to be ready"));
    ASSERT_NO_FATAL_FAILURE(capture());
    const QString said = QStringLiteral("请看一下明天上午10点评审代码。");
    expectPastedExactly(said, said);
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
