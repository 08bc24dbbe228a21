#include "platform/accessibility_thread.h"
#include "platform/embedded_object_text_element.h"
#include "platform/fake/fake_accessibility.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <atomic>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Element = std::shared_ptr<FakeAccessibilityElement>;

const QString object(1, QChar(EmbeddedObjectText::objectReplacementCharacter));

Element paragraph(const QString &name, const QString &text) {
    Element element = FakeAccessibilityElement::create(name);
    element->set(ax::value, text).set(ax::role, QStringLiteral("section"));
    element->set(ax::display, QStringLiteral("block"));
    return element;
}

// A page's editor of three paragraphs with the caret two characters into
// the second, as a browser exposes it: the editor's own text is one U+FFFC
// per paragraph, and it says the caret is at the second.
class EmbeddedObjectTextElementTest : public ::testing::Test {
protected:
    void SetUp() override {
        editor->set(ax::value, object + object + object)
            .set(ax::selectedTextRange, AccessibilityRange{1, 0})
            .set(ax::embeddedObjects, QList<AccessibilityElementRef>{first, second, third});
        for (const Element &child : {first, second, third})
            editor->appendChild(child);
        second->set(ax::selectedTextRange, AccessibilityRange{2, 0});
        window->appendChild(editor);
        app->set(ax::focusedUIElement, AccessibilityElementRef(editor));
    }

    Element app = FakeAccessibilityElement::create(QStringLiteral("app"));
    Element window = FakeAccessibilityElement::create(QStringLiteral("window"));
    Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    Element first = paragraph(QStringLiteral("p1"), QStringLiteral("第一段文字。"));
    Element second = paragraph(QStringLiteral("p2"), QStringLiteral("第二段的内容在这里。"));
    Element third = paragraph(QStringLiteral("p3"), QStringLiteral("第三段结束。"));
};

TEST_F(EmbeddedObjectTextElementTest, TheEditorReadsAsItsParagraphsWithTheCaretInTheSecond) {
    // Reached as the search reaches it: from the application's focus.
    const AccessibilityElementRef focused =
        accessibilityValueAs<AccessibilityElementRef>(
            EmbeddedObjectTextElement::wrap(app)->attributeValue(ax::focusedUIElement))
            .value_or(nullptr);
    ASSERT_TRUE(focused);
    EXPECT_EQ(accessibilityValueAs<QString>(focused->attributeValue(ax::value)),
              QStringLiteral("第一段文字。\n第二段的内容在这里。\n第三段结束。"));
    EXPECT_EQ(
        accessibilityValueAs<AccessibilityRange>(focused->attributeValue(ax::selectedTextRange)),
        (AccessibilityRange{9, 0}));
    EXPECT_EQ(accessibilityValueAs<QString>(focused->attributeValue(ax::selectedText)), QString());
    EXPECT_EQ(accessibilityValueAs<QString>(focused->parameterizedAttributeValue(
                  ax::stringForRange, AccessibilityRange{0, 9})),
              QStringLiteral("第一段文字。\n第二"));

    // The caret's bounds come from the paragraph that holds it.
    std::optional<AccessibilityRange> asked;
    second->answer(ax::boundsForRange,
                   [&asked](const AccessibilityValue &range) -> std::optional<AccessibilityValue> {
                       asked = std::get<AccessibilityRange>(range);
                       return AccessibilityValue(QRectF(10, 40, 1, 16));
                   });
    EXPECT_EQ(accessibilityValueAs<QRectF>(focused->parameterizedAttributeValue(
                  ax::boundsForRange, AccessibilityRange{9, 0})),
              QRectF(10, 40, 1, 16));
    EXPECT_EQ(asked, (AccessibilityRange{2, 0}));

    // The parent reached from it reads the same way.
    const auto parent =
        accessibilityValueAs<AccessibilityElementRef>(focused->attributeValue(ax::parent));
    ASSERT_TRUE(parent && *parent);
    EXPECT_NE(dynamic_cast<EmbeddedObjectTextElement *>(parent->get()), nullptr);
}

TEST_F(EmbeddedObjectTextElementTest, ASelectionGoesToItsParagraphAndTheTextIsNeverWrittenWhole) {
    EmbeddedObjectTextElement element(editor,
                                      std::make_shared<EmbeddedObjectTextElement::Knowledge>());
    // A selection inside the second paragraph: the editor says which
    // paragraph, the paragraph where in it.
    editor->set(ax::selectedTextRange, AccessibilityRange{1, 1});
    second->set(ax::selectedTextRange, AccessibilityRange{2, 3});
    EXPECT_EQ(
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange)),
        (AccessibilityRange{9, 3}));
    EXPECT_EQ(accessibilityValueAs<QString>(element.attributeValue(ax::selectedText)),
              QStringLiteral("段的内"));

    // Selecting a range of the text selects it in its paragraph.
    EXPECT_TRUE(element.setAttributeValue(ax::selectedTextRange, AccessibilityRange{8, 2}));
    EXPECT_EQ(
        accessibilityValueAs<AccessibilityRange>(second->attributeValue(ax::selectedTextRange)),
        (AccessibilityRange{1, 2}));
    EXPECT_FALSE(element.setAttributeValue(ax::selectedTextRange, AccessibilityRange{4, 6}))
        << "parts of two paragraphs";

    // Writing the whole text would flatten the paragraphs, or be ignored.
    EXPECT_FALSE(element.isAttributeSettable(ax::value));
    EXPECT_FALSE(element.setAttributeValue(ax::value, QStringLiteral("重写")));
    EXPECT_EQ(accessibilityValueAs<QString>(editor->attributeValue(ax::value)),
              object + object + object);

    // A paragraph whose embedded elements do not match its text leaves the
    // whole text unread, rather than read wrong.
    second->set(ax::value, object + object)
        .set(ax::embeddedObjects, QList<AccessibilityElementRef>{third});
    EXPECT_EQ(element.attributeValue(ax::value), std::nullopt);
}

// What each element embeds is kept from one reading to the next while its
// text stays the same; an editor that draws a paragraph anew keeps the
// text "U+FFFC U+FFFC U+FFFC" but puts a new element in its place.
TEST_F(EmbeddedObjectTextElementTest, AParagraphDrawnAnewIsReadInItsPlace) {
    EmbeddedObjectTextElement element(editor,
                                      std::make_shared<EmbeddedObjectTextElement::Knowledge>());
    ASSERT_EQ(accessibilityValueAs<QString>(element.attributeValue(ax::value)),
              QStringLiteral("第一段文字。\n第二段的内容在这里。\n第三段结束。"));
    const Element redrawn = paragraph(QStringLiteral("p2-new"), QStringLiteral("第二段改过了。"));
    editor->set(ax::embeddedObjects, QList<AccessibilityElementRef>{first, redrawn, third});
    second->remove(ax::value).remove(ax::role).remove(ax::display);
    EXPECT_EQ(accessibilityValueAs<QString>(element.attributeValue(ax::value)),
              QStringLiteral("第一段文字。\n第二段改过了。\n第三段结束。"));
}

// A capture or an insertion reads the editor's value, caret, selection and
// the text around the caret one after the other in one job of the
// accessibility thread: the paragraphs are read once for all of them, and
// anew in the next job (after the paste).
TEST_F(EmbeddedObjectTextElementTest, OneJobReadsTheParagraphsOnceAndTheNextReadsThemAnew) {
    AccessibilityThread thread;
    std::atomic<int> paragraphReads{0};
    second->onRead([&paragraphReads](const QString &attribute) {
        if (attribute == ax::value)
            ++paragraphReads;
    });
    const AccessibilityElementRef element = EmbeddedObjectTextElement::wrap(editor);
    const auto readAll = [element] {
        const auto value = accessibilityValueAs<QString>(element->attributeValue(ax::value));
        element->attributeValue(ax::selectedTextRange);
        element->attributeValue(ax::selectedText);
        element->parameterizedAttributeValue(ax::stringForRange, AccessibilityRange{0, 9});
        return value.value_or(QString());
    };
    EXPECT_EQ(testing::runTask(thread.run(readAll)),
              QStringLiteral("第一段文字。\n第二段的内容在这里。\n第三段结束。"));
    EXPECT_EQ(paragraphReads, 1);

    second->set(ax::value, QStringLiteral("第二【口述】段的内容在这里。"));
    EXPECT_EQ(testing::runTask(thread.run(readAll)),
              QStringLiteral("第一段文字。\n第二【口述】段的内容在这里。\n第三段结束。"));
    EXPECT_EQ(paragraphReads, 2);
}

} // namespace
} // namespace tovalit
