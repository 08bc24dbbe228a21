#include "platform/fake/fake_accessibility.h"
#include "services/text_injection/focused_input_field_operations.h"
#include "services/text_injection/focused_input_insertion_error.h"
#include "tests/services/text_injection/insertion_printers.h"
#include "tests/services/text_injection/scripted_text_field.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Operations = FocusedInputFieldOperations;
using testing::ScriptedTextField;

TEST(FocusedInputFieldOperationsTest, PasteIsVerifiedOnlyWithTheCaretRightAfterTheText) {
    auto field = std::make_shared<ScriptedTextField>(QString(), AccessibilityRange{0, 0});
    const FocusedInputContext before{field, QString(), {0, 0}};
    field->set(QStringLiteral("abc"), {3, 0});
    EXPECT_TRUE(Operations::verifyPasteInserted(QStringLiteral("abc"), before));
    field->set(QStringLiteral("abc"), {0, 3});
    EXPECT_FALSE(Operations::verifyPasteInserted(QStringLiteral("abc"), before));
    field->set(QStringLiteral("abcd"), {3, 0});
    EXPECT_FALSE(Operations::verifyPasteInserted(QStringLiteral("abc"), before));
    // The caret counts UTF-16 units.
    field->set(QStringLiteral("😀"), {2, 0});
    EXPECT_TRUE(Operations::verifyPasteInserted(QStringLiteral("😀"), before));
    field->setReadable(false);
    EXPECT_THROW(Operations::verifyPasteInserted(QStringLiteral("😀"), before),
                 FocusedInputInsertionError);
}

TEST(FocusedInputFieldOperationsTest, AFieldThatReadAsItsDrawnHintIsVerifiedHoldingTheTextAlone) {
    // A chat box read while empty gave the hint it draws, caret at either
    // end of it; pasted into, it holds the dictated text and nothing else.
    auto field = std::make_shared<ScriptedTextField>(QString(), AccessibilityRange{0, 0});
    field->setPastesOnly(true);
    const QString hint = QStringLiteral("输入消息…");
    for (const qint64 caret : {qint64(0), qint64(hint.size())}) {
        const FocusedInputContext empty{field, hint, {caret, 0}};
        field->set(QStringLiteral("你好"), {2, 0});
        EXPECT_EQ(Operations::pastedValue(QStringLiteral("你好"), empty), QStringLiteral("你好"));
        field->set(QStringLiteral("你好"), {0, 0});
        EXPECT_EQ(Operations::pastedValue(QStringLiteral("你好"), empty), std::nullopt);
        field->set(QStringLiteral("你好好"), {2, 0});
        EXPECT_EQ(Operations::pastedValue(QStringLiteral("你好"), empty), std::nullopt);
    }
}

TEST(FocusedInputFieldOperationsTest, AFieldLeftHoldingTheTextAloneIsVerifiedOnlyWhereAHintWasAll) {
    // The user's own words, gone under the paste, are no hint: neither a
    // desktop program's text, nor a browser editor's longer or many-line
    // text.
    auto field = std::make_shared<ScriptedTextField>(QString(), AccessibilityRange{0, 0});
    const auto textAlone = [&](const QString &before) {
        field->set(QStringLiteral("你好"), {2, 0});
        return Operations::pastedValue(QStringLiteral("你好"), {field, before, {0, 0}});
    };
    EXPECT_EQ(textAlone(QStringLiteral("明天上午开会")), std::nullopt);
    field->setPastesOnly(true);
    EXPECT_EQ(textAlone(QStringLiteral("明天上午开会")), QStringLiteral("你好"));
    EXPECT_EQ(textAlone(QStringLiteral("写点什么…\n")), QStringLiteral("你好"));
    EXPECT_EQ(textAlone(QStringLiteral("第一行\n第二行")), std::nullopt);
    EXPECT_EQ(textAlone(QString(Operations::hintLengthLimit + 1, u'字')), std::nullopt);
}

TEST(FocusedInputFieldOperationsTest, ALineBreakTheEditorDropsOrKeepsAtTheEndIsNoDifference) {
    auto field = std::make_shared<ScriptedTextField>(QString(), AccessibilityRange{0, 0});
    const QString text = QStringLiteral("今天下午3点开会。");
    // The trailing <br> gone once text follows it.
    const FocusedInputContext closed{field, QStringLiteral("你好\n明天见\n"), {7, 0}};
    field->set(QStringLiteral("你好\n明天见\n") + text, {7 + text.size(), 0});
    EXPECT_EQ(Operations::pastedValue(text, closed), field->value());
    // The same with the caret after that break, as Chromium puts it.
    const FocusedInputContext after{field, QStringLiteral("你好\n明天见\n\n"), {8, 0}};
    EXPECT_EQ(Operations::pastedValue(text, after), field->value());
    // A one-line box keeping the <br> it ends in.
    const FocusedInputContext open{field, QString(), {0, 0}};
    field->set(text + QStringLiteral("\n"), {text.size(), 0});
    EXPECT_EQ(Operations::pastedValue(text, open), field->value());
    // Two breaks, or a break anywhere else, are a difference.
    field->set(text + QStringLiteral("\n\n"), {text.size(), 0});
    EXPECT_EQ(Operations::pastedValue(text, open), std::nullopt);
    field->set(QStringLiteral("\n") + text, {text.size() + 1, 0});
    EXPECT_EQ(Operations::pastedValue(text, open), std::nullopt);
    EXPECT_FALSE(Operations::sameButForFinalBreak(QStringLiteral("ab"), QStringLiteral("a\n")));
}

TEST(FocusedInputFieldOperationsTest, OnlyAFittingSelectionOfAnEditableFieldIsWritten) {
    using Outcome = Operations::DirectWrite::Outcome;
    auto field =
        std::make_shared<ScriptedTextField>(QStringLiteral("a😀b"), AccessibilityRange{1, 2});
    const FocusedInputContext beyond{field, QStringLiteral("a😀b"), {3, 5}};
    EXPECT_EQ(Operations::expectedValue(QStringLiteral("x"), beyond), QStringLiteral("a😀b"));
    EXPECT_EQ(Operations::writeValue(QStringLiteral("x"), beyond).outcome, Outcome::refused);
    const FocusedInputContext split{field, QStringLiteral("a😀b"), {2, 0}};
    EXPECT_EQ(Operations::writeValue(QStringLiteral("x"), split).outcome, Outcome::refused);
    Operations::placeCaretAfter(QStringLiteral("x"), split);
    EXPECT_EQ(field->selection(), (AccessibilityRange{1, 2}));
    const FocusedInputContext emoji{field, QStringLiteral("a😀b"), {1, 2}};
    field->setEditable(false);
    EXPECT_EQ(Operations::writeValue(QStringLiteral("你好"), emoji).outcome, Outcome::notEditable);
    EXPECT_EQ(field->valueWriteAttempts(), 0);

    // A fitting selection is replaced, and the caret goes after the text.
    field->setEditable(true);
    const Operations::DirectWrite write = Operations::writeValue(QStringLiteral("你好"), emoji);
    EXPECT_EQ(write.outcome, Outcome::sent);
    EXPECT_EQ(write.value, QStringLiteral("a你好b"));
    EXPECT_EQ(field->value(), QStringLiteral("a你好b"));
    Operations::placeCaretAfter(QStringLiteral("你好"), emoji);
    EXPECT_EQ(field->selection(), (AccessibilityRange{3, 0}));
    field->refuseValueWrites(1);
    EXPECT_EQ(Operations::writeValue(QStringLiteral("!"), {field, QStringLiteral("a你好b"), {4, 0}})
                  .outcome,
              Outcome::refused);
}

TEST(FocusedInputFieldOperationsTest, ReplacedElementIsStoodInForOnlyByOneOfTheSameProcess) {
    FakeAccessibilityClient client;
    auto gone =
        std::make_shared<ScriptedTextField>(QStringLiteral("old"), AccessibilityRange{3, 0});
    gone->setReadable(false);
    auto rebuilt =
        std::make_shared<ScriptedTextField>(QStringLiteral("rebuilt"), AccessibilityRange{0, 0});
    auto app = FakeAccessibilityElement::create(QStringLiteral("app"));
    app->set(ax::focusedUIElement, AccessibilityElementRef(rebuilt));
    client.setApplication(42, app);

    EXPECT_EQ(Operations::observedStringValue(client, *gone, 42), QStringLiteral("rebuilt"));
    EXPECT_FALSE(Operations::observedStringValue(client, *gone, std::nullopt));
    rebuilt->setProcessIdentifier(7);
    EXPECT_FALSE(Operations::observedStringValue(client, *gone, 42));

    // Without the application's focus, the desktop's focus is asked.
    app->remove(ax::focusedUIElement);
    client.systemWide()->set(ax::focusedUIElement, AccessibilityElementRef(rebuilt));
    EXPECT_EQ(Operations::observedStringValue(client, *gone, 7), QStringLiteral("rebuilt"));
    rebuilt->setProcessIdentifier(0);
    EXPECT_FALSE(Operations::processIdentifier(*rebuilt));
}

} // namespace
} // namespace tovalit
