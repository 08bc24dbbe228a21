#pragma once

#include <QByteArray>
#include <QString>

namespace tovalit::testing {

// The pages the desktop tests show in a browser.
enum class WebPage {
    // An empty text area that takes the focus as the page loads, as a mail
    // or chat page's field does.
    textArea,
    // A rich-text editor as web mail and chat editors make them: a first
    // line typed straight into it, then three paragraphs, a table with
    // empty cells and a list, each an element of its own (the third
    // paragraph holds a link and ends in a line break), with the caret two
    // characters into the second paragraph, below the table.
    richTextEditor,
    // A text area holding characters beyond the Basic Multilingual Plane (an
    // emoji with a skin tone, a rare CJK ideograph) and a text of its user's
    // own U+FEFF, with the caret right after the ideograph.
    textAreaBeyondBasicPlane,
    // A rich-text editor whose paragraphs hold characters beyond the Basic
    // Multilingual Plane (a rare CJK ideograph, emoji of several code
    // points), with words after them selected by the page.
    richTextSelectionBeyondBasicPlane,
};

// With `paragraphs`, a rich-text editor's page holds that many plain
// paragraphs instead, with the caret two characters into the middle one.
QByteArray webPageHtml(WebPage page, int paragraphs = 0);

// The rich-text editor's text as its user reads it, a line per paragraph,
// and where its caret stands in it (UTF-16 units).
QString richTextEditorText();
constexpr qsizetype richTextEditorCaret = 19;

// The text area's text beyond the Basic Multilingual Plane, and where its
// caret stands in it (UTF-16 units).
QString textBeyondBasicPlane();
constexpr qsizetype textBeyondBasicPlaneCaret = 9;

// That editor's text, a line per paragraph, and its selection in it (UTF-16
// units): the words after the ideograph and before the emoji of the second
// paragraph.
QString richTextBeyondBasicPlane();
constexpr qsizetype richTextBeyondBasicPlaneSelectionStart = 13;
constexpr qsizetype richTextBeyondBasicPlaneSelectionLength = 2;

} // namespace tovalit::testing
