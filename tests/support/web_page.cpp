#include "tests/support/web_page.h"

namespace tovalit::testing {

QByteArray webPageHtml(WebPage page, int paragraphs) {
    const QByteArray head = "<!DOCTYPE html><html lang=\"zh\"><head><meta charset=\"utf-8\">";
    if (page == WebPage::textArea)
        return head + "<title>留言</title></head><body>"
                      "<textarea id=\"message\" rows=\"6\" cols=\"40\" autofocus></textarea>"
                      "</body></html>";
    if (page == WebPage::textAreaBeyondBasicPlane) {
        // Filled and its caret placed by the page itself, as the user's
        // typing there would leave it.
        const QByteArray text = textBeyondBasicPlane().toUtf8().replace("\uFEFF", "\\uFEFF");
        const QByteArray caret = QByteArray::number(textBeyondBasicPlaneCaret);
        return head + "<title>留言</title></head><body>" +
               "<textarea id=\"message\" rows=\"6\" cols=\"40\"></textarea><script>" +
               "onload = () => { const message = document.getElementById('message');" +
               "message.value = '" + text + "'; message.focus(); message.setSelectionRange(" +
               caret + ", " + caret + ");};</script></body></html>";
    }
    if (page == WebPage::richTextSelectionBeyondBasicPlane) {
        const QStringList lines = richTextBeyondBasicPlane().split(u'\n');
        QByteArray body;
        for (const QString &line : lines)
            body += "<div>" + line.toUtf8() + "</div>";
        // Selected by the page, forward, as a drag over the words leaves it.
        const QByteArray from =
            QByteArray::number(richTextBeyondBasicPlaneSelectionStart - lines.first().size() - 1);
        const QByteArray to =
            QByteArray::number(from.toInt() + richTextBeyondBasicPlaneSelectionLength);
        return head +
               "<title>编辑器</title></head><body>"
               "<div id=\"editor\" contenteditable=\"true\" "
               "style=\"width:600px;min-height:200px;border:1px solid #888\">" +
               body +
               "</div><script>onload = () => {"
               "const editor = document.getElementById('editor');"
               "const text = editor.children[1].firstChild;"
               "editor.focus();"
               "getSelection().setBaseAndExtent(text, " +
               from + ", text, " + to + ");};</script></body></html>";
    }
    if (paragraphs > 0)
        return head +
               "<title>编辑器</title></head><body>"
               "<div id=\"editor\" contenteditable=\"true\" "
               "style=\"width:600px;height:400px;overflow:auto;border:1px solid #888\">"
               "</div><script>onload = () => {"
               "const editor = document.getElementById('editor');"
               "for (let i = 1; i <= " +
               QByteArray::number(paragraphs) +
               "; ++i) {"
               "const line = document.createElement('div');"
               "line.textContent = '第' + i + '段的文字，写在这一段里。';"
               "editor.appendChild(line);}"
               "const middle = editor.children[Math.floor(editor.children.length / 2)];"
               "middle.scrollIntoView();"
               "const range = document.createRange();"
               "range.setStart(middle.firstChild, 2); range.collapse(true);"
               "getSelection().removeAllRanges(); getSelection().addRange(range);"
               "editor.focus();};</script></body></html>";
    // The page places the caret itself, as a click into the paragraph would.
    return head + "<title>编辑器</title></head><body>"
                  "<div id=\"editor\" contenteditable=\"true\" "
                  "style=\"width:600px;min-height:200px;border:1px solid #888\">"
                  "开头一行<div>第一段文字。</div>"
                  "<table border=\"1\"><tr><td>甲</td><td></td></tr><tr><td></td><td></td></tr>"
                  "</table><div>第二段的内容在这里。</div>"
                  "<div>第三段有<a href=\"#note\">一个链接</a>。<br></div><ul><li>要点一</li></ul>"
                  "</div><script>onload = () => {"
                  "const editor = document.getElementById('editor');"
                  "const range = document.createRange();"
                  "range.setStart(editor.children[2].firstChild, 2); range.collapse(true);"
                  "getSelection().removeAllRanges(); getSelection().addRange(range);"
                  "editor.focus();};</script></body></html>";
}

QString richTextEditorText() {
    return QStringLiteral(
        "开头一行\n第一段文字。\n甲\n\n\n\n第二段的内容在这里。\n第三段有一个链接。\n• "
        "要点一");
}

QString richTextBeyondBasicPlane() {
    return QStringLiteral("第一段文字。\n第二段𠀋的内容👍在这里。\n家人👨‍👩‍👧‍👦到了🇨🇳🇯🇵，键帽1"
                          "️⃣好👍🏽。");
}

QString textBeyondBasicPlane() {
    return QStringLiteral("收到👍🏽，𠀋字就好😀\uFEFF！");
}

} // namespace tovalit::testing
