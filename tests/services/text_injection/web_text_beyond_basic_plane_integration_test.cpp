// A browser's text area holding characters beyond the Basic Multilingual
// Plane: an emoji with a skin tone and a rare CJK ideograph, which Firefox
// pads on the accessibility bus with a U+FEFF each, and a U+FEFF the user
// typed. The dictation reads the user's own text around the caret, and
// checks the paste there against it.

#include "tests/support/browser_page_fixture.h"
#include "tests/support/qt_printers.h"

namespace tovalit {
namespace {

using testing::Browser;

class WebTextBeyondBasicPlaneTest : public testing::BrowserPageFixture {
protected:
    // The browser shows the text area, which has the focus and the caret
    // the page placed; its text is left for the dictation to read first.
    void openTextArea() {
        openPage(
            testing::WebPage::textAreaBeyondBasicPlane,
            [](AtspiBus &bus, const AtspiObject &focused) {
                const auto caret = bus.caretOffset(focused);
                return caret && *caret > 0;
            },
            "the browser's text area to have the focus and the caret");
    }
};

TEST_P(WebTextBeyondBasicPlaneTest, TheUsersOwnTextIsTheContextAndThePasteThereIsVerified) {
    ASSERT_NO_FATAL_FAILURE(openTextArea());
    const QString text = testing::textBeyondBasicPlane();
    const qsizetype caret = testing::textBeyondBasicPlaneCaret;

    const FocusedElementContext captured = capture();
    EXPECT_EQ(captured.surroundingTextBeforeCursor, text.left(caret));
    EXPECT_EQ(captured.surroundingTextAfterCursor, text.mid(caret));
    EXPECT_EQ(captured.selectedText, std::nullopt);
    EXPECT_EQ(focusedAttribute<QString>(ax::value), text);

    const QString spoken = QStringLiteral("【口述】");
    expectCheckedPaste(spoken);
    // The user's text with the paste in it, and the caret right after it.
    EXPECT_EQ(focusedAttribute<QString>(ax::value), text.left(caret) + spoken + text.mid(caret));
    EXPECT_EQ(focusedAttribute<AccessibilityRange>(ax::selectedTextRange),
              (AccessibilityRange{caret + spoken.size(), 0}));
}

INSTANTIATE_TEST_SUITE_P(Browsers, WebTextBeyondBasicPlaneTest,
                         ::testing::Values(Browser::firefox, Browser::chromium),
                         testing::BrowserPageFixture::browserName);

} // namespace
} // namespace tovalit
