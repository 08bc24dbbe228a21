#include "platform/linux/atspi_drawn_text.h"

#include <gtest/gtest.h>

namespace tovalit::atspi {
namespace {

DrawnTextSigns signsOf(const QString &text) {
    DrawnTextSigns signs;
    signs.text = text;
    signs.nativeLength = text.size();
    return signs;
}

// The shapes below are what Firefox ESR and Chromium showed of real pages.
TEST(AtspiDrawnTextTest, AHintTheBrowserMarksIsToldFromTheUsersText) {
    const QHash<QString, QString> generated{
        {QStringLiteral("auto-generated"), QStringLiteral("true")},
        {QStringLiteral("fg-color"), QStringLiteral("153,153,153")}};
    // Firefox: the editor's own hint, and a paragraph's before its line break.
    DrawnTextSigns box = signsOf(QStringLiteral("输入消息…"));
    box.firstRun = std::pair{qint64(5), generated};
    EXPECT_TRUE(isDrawnHint(box));
    DrawnTextSigns paragraph = signsOf(QStringLiteral("写点什么…\n"));
    paragraph.firstRun = std::pair{qint64(5), generated};
    EXPECT_TRUE(isDrawnHint(paragraph));
    // Words of the user's after a drawn icon stay text.
    DrawnTextSigns words = signsOf(QStringLiteral("★ 今天下午"));
    words.firstRun = std::pair{qint64(2), generated};
    EXPECT_FALSE(isDrawnHint(words));
    // Chromium: a paragraph whose one embedded element is its ::before.
    DrawnTextSigns block = signsOf(QStringLiteral("\uFFFC\n"));
    block.embeddedTags = [] { return QStringList{QStringLiteral("::before")}; };
    EXPECT_TRUE(isDrawnHint(block));
    DrawnTextSigns image = signsOf(QStringLiteral("\uFFFC\n"));
    image.embeddedTags = [] { return QStringList{QStringLiteral("img")}; };
    EXPECT_FALSE(isDrawnHint(image));
    // A placeholder the page names: Firefox's attribute, Chromium's name.
    DrawnTextSigns aria = signsOf(QStringLiteral("说点什么…"));
    aria.attributes = {{QStringLiteral("placeholder-text"), QStringLiteral("说点什么…")}};
    EXPECT_TRUE(isDrawnHint(aria));
    DrawnTextSigns named = signsOf(QStringLiteral("说点什么…"));
    named.attributes = {{QStringLiteral("name-from"), QStringLiteral("placeholder")}};
    named.name = QStringLiteral("说点什么…");
    EXPECT_TRUE(isDrawnHint(named));
    // Once the user typed, the text is theirs whatever the field's name.
    named.text = QStringLiteral("说点什么…好");
    EXPECT_FALSE(isDrawnHint(named));
    // Chromium: a hint drawn inline is a child text the user cannot edit,
    // with or without the line break of a box that holds only a <br>;
    // a chip the user cannot edit beside words they typed is no hint.
    using Child = DrawnTextSigns::ChildText;
    DrawnTextSigns inlineHint = signsOf(QStringLiteral("输入消息…"));
    inlineHint.childTexts = [] { return QList<Child>{{QStringLiteral("输入消息…"), true}}; };
    EXPECT_TRUE(isDrawnHint(inlineHint));
    DrawnTextSigns overBreak = signsOf(QStringLiteral("输入消息…\n"));
    overBreak.childTexts = [] {
        return QList<Child>{{QStringLiteral("输入消息…"), true}, {QStringLiteral("\n"), false}};
    };
    EXPECT_TRUE(isDrawnHint(overBreak));
    DrawnTextSigns chip = signsOf(QStringLiteral("@张三 确认"));
    chip.childTexts = [] {
        return QList<Child>{{QStringLiteral("@张三"), true}, {QStringLiteral(" 确认"), false}};
    };
    EXPECT_FALSE(isDrawnHint(chip));
    DrawnTextSigns typed = signsOf(QStringLiteral("输入消息…"));
    typed.childTexts = [] { return QList<Child>{{QStringLiteral("输入消息…"), false}}; };
    EXPECT_FALSE(isDrawnHint(typed));
    // Nothing marked: text.
    EXPECT_FALSE(isDrawnHint(signsOf(QStringLiteral("输入消息…"))));
    EXPECT_FALSE(isDrawnHint(signsOf(QString())));
}

} // namespace
} // namespace tovalit::atspi
