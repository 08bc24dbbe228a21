#include "platform/accessibility_thread.h"
#include "platform/cold_read.h"
#include "platform/embedded_object_text_element.h"
#include "platform/fake/fake_accessibility.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <algorithm>
#include <atomic>
#include <chrono>
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
            .set(ax::caret, AccessibilityRange{1, 0})
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
    // A selection inside the second paragraph: the editor's caret says
    // which paragraph, the paragraph where in it.
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

    // An editor whose paragraphs cannot be listed embeds them all the same:
    // unread, and still never written whole.
    const Element unlisted = FakeAccessibilityElement::create(QStringLiteral("unlisted"));
    unlisted->set(ax::value, object + object)
        .set(ax::caret, AccessibilityRange{0, 0})
        .answer(ax::embeddedObjectsForRange,
                [](const AccessibilityValue &range) -> std::optional<AccessibilityValue> {
                    if (std::get<AccessibilityRange>(range).length > 0)
                        return std::nullopt;
                    return AccessibilityValue(QList<AccessibilityElementRef>());
                });
    EmbeddedObjectTextElement unread(unlisted,
                                     std::make_shared<EmbeddedObjectTextElement::Knowledge>());
    EXPECT_EQ(unread.attributeValue(ax::value), std::nullopt);
    EXPECT_FALSE(unread.isAttributeSettable(ax::value));
    EXPECT_FALSE(unread.setAttributeValue(ax::value, QStringLiteral("重写")));
    EXPECT_EQ(accessibilityValueAs<QString>(unlisted->attributeValue(ax::value)), object + object);
}

// A browser answers an editor's own selection by walking its whole
// document (Chromium takes a second over ten thousand paragraphs), its
// caret and its paragraphs' selections at once: the selection is put
// together from those, across paragraphs too, whichever end the caret is.
TEST_F(EmbeddedObjectTextElementTest, TheEditorsOwnSelectionIsNeverAsked) {
    int asked = 0;
    editor->onRead([&asked](const QString &attribute) {
        if (attribute == ax::selectedTextRange || attribute == ax::selectedText)
            ++asked;
    });
    const auto readSelection = [this] {
        EmbeddedObjectTextElement element(editor,
                                          std::make_shared<EmbeddedObjectTextElement::Knowledge>());
        const auto value = accessibilityValueAs<QString>(element.attributeValue(ax::value));
        EXPECT_EQ(value, QStringLiteral("第一段文字。\n第二段的内容在这里。\n第三段结束。"));
        return std::pair{
            accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange)),
            accessibilityValueAs<QString>(element.attributeValue(ax::selectedText))};
    };
    EXPECT_EQ(readSelection().first, (AccessibilityRange{9, 0}));

    // From the second paragraph into the third, made forwards (the caret in
    // the third) and backwards (the caret in the second).
    second->set(ax::selectedTextRange, AccessibilityRange{2, 8});
    third->set(ax::selectedTextRange, AccessibilityRange{0, 2});
    const auto spanning = std::pair{std::optional(AccessibilityRange{9, 11}),
                                    std::optional(QStringLiteral("段的内容在这里。\n第三"))};
    editor->set(ax::caret, AccessibilityRange{2, 0});
    EXPECT_EQ(readSelection(), spanning);
    editor->set(ax::caret, AccessibilityRange{1, 0});
    EXPECT_EQ(readSelection(), spanning);
    EXPECT_EQ(asked, 0);
}

// A first line typed straight into the editor is the editor's own text,
// its next lines paragraphs: what is selected in that line only the editor
// itself says.
TEST_F(EmbeddedObjectTextElementTest, ASelectionInTheEditorsOwnTextIsRead) {
    editor->set(ax::value, QStringLiteral("第零行") + object + object + object)
        .set(ax::caret, AccessibilityRange{3, 0})
        .set(ax::selectedTextRange, AccessibilityRange{1, 2});
    second->remove(ax::selectedTextRange);
    EmbeddedObjectTextElement element(editor,
                                      std::make_shared<EmbeddedObjectTextElement::Knowledge>());
    EXPECT_EQ(accessibilityValueAs<QString>(element.attributeValue(ax::value)),
              QStringLiteral("第零行\n第一段文字。\n第二段的内容在这里。\n第三段结束。"));
    EXPECT_EQ(
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange)),
        (AccessibilityRange{1, 2}));
    EXPECT_EQ(accessibilityValueAs<QString>(element.attributeValue(ax::selectedText)),
              QStringLiteral("零行"));
}

// What an element embeds is asked anew at each reading: an editor that
// draws a paragraph anew, or moves one, keeps its text "U+FFFC U+FFFC
// U+FFFC" but puts other elements in its places. What is known of the
// elements for good stays bounded over a long run.
TEST_F(EmbeddedObjectTextElementTest, ParagraphsDrawnAnewOrMovedAreReadInTheirPlaces) {
    const auto knowledge = std::make_shared<EmbeddedObjectTextElement::Knowledge>();
    const auto valueOf = [&knowledge](const Element &element) {
        return accessibilityValueAs<QString>(
            EmbeddedObjectTextElement::wrap(element, knowledge)->attributeValue(ax::value));
    };
    ASSERT_EQ(valueOf(editor), QStringLiteral("第一段文字。\n第二段的内容在这里。\n第三段结束。"));
    const Element redrawn = paragraph(QStringLiteral("p2-new"), QStringLiteral("第二段改过了。"));
    redrawn->set(ax::selectedTextRange, AccessibilityRange{2, 0});
    editor->set(ax::embeddedObjects, QList<AccessibilityElementRef>{first, redrawn, third});
    second->remove(ax::value).remove(ax::role).remove(ax::display);
    EXPECT_EQ(valueOf(editor), QStringLiteral("第一段文字。\n第二段改过了。\n第三段结束。"));
    editor->set(ax::embeddedObjects, QList<AccessibilityElementRef>{third, first, redrawn})
        .set(ax::caret, AccessibilityRange{2, 0});
    EXPECT_EQ(valueOf(editor), QStringLiteral("第三段结束。\n第一段文字。\n第二段改过了。"));

    // A chat's editor: a new paragraph for every message.
    const Element chat = FakeAccessibilityElement::create(QStringLiteral("chat"));
    for (int message = 0; message < EmbeddedObjectTextElement::maxKnown + 10; ++message) {
        const Element line = paragraph(QStringLiteral("m%1").arg(message), QStringLiteral("消息"));
        chat->set(ax::value, QString::number(message) + object)
            .set(ax::caret, AccessibilityRange{0, 0})
            .set(ax::embeddedObjects, QList<AccessibilityElementRef>{line});
        ASSERT_EQ(valueOf(chat), QString::number(message) + QStringLiteral("\n消息"));
    }
    EXPECT_LE(knowledge->blocks.size(), EmbeddedObjectTextElement::maxKnown);
}

// An editor of paragraphs, each an element of its own, as a page exposes
// it; each request for paragraphs is counted as a round of calls.
struct LongEditor {
    Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    std::vector<Element> elements;
    QList<AccessibilityElementRef> paragraphs;
    QStringList texts;
    int rounds = 0;

    explicit LongEditor(int count) {
        for (int index = 0; index < count; ++index) {
            texts << QStringLiteral("这是第%1段的文字。").arg(index);
            elements.push_back(paragraph(QStringLiteral("p%1").arg(index), texts.last()));
            paragraphs.append(elements.back());
        }
        editor
            ->set(ax::value, QString(count, QChar(EmbeddedObjectText::objectReplacementCharacter)))
            .set(ax::embeddedObjects, paragraphs);
        editor->answer(
            ax::embeddedObjectsForRange,
            [this](const AccessibilityValue &parameter) -> std::optional<AccessibilityValue> {
                ++rounds;
                const auto range = std::get<AccessibilityRange>(parameter);
                if (range.location < 0 || range.length < 0 ||
                    range.location + range.length > paragraphs.size())
                    return std::nullopt;
                return AccessibilityValue(paragraphs.mid(range.location, range.length));
            });
    }
    void selectAll() {
        for (int index = 0; index < int(elements.size()); ++index)
            elements[std::size_t(index)]->set(ax::selectedTextRange,
                                              AccessibilityRange{0, qint64(texts[index].size())});
    }
    int read() const {
        return int(std::count_if(elements.cbegin(), elements.cend(),
                                 [](const Element &element) { return element->readCount() > 0; }));
    }
    // What the editor holds after a paste over all of it: one paragraph.
    void replaceAll(const QString &text) {
        const Element pasted = paragraph(QStringLiteral("pasted"), text);
        pasted->set(ax::selectedTextRange, AccessibilityRange{qint64(text.size()), 0});
        paragraphs = {pasted};
        editor->set(ax::value, object).set(ax::caret, AccessibilityRange{0, 0});
    }
};

// An editor of ten thousand paragraphs is read around its caret, as one of
// ten would be: the paragraphs the text before and after the caret needs,
// a few more at most, in a few rounds of calls. The same element reads the same paragraphs again
// after the paste, so the value read before, with the text put in, is what a paste shows there,
// whatever it did to the paragraphs.
TEST(EmbeddedObjectTextElementWindowTest, AnEditorOfAnyLengthIsReadAroundTheSelection) {
    constexpr int count = 10000;
    constexpr int caretParagraph = 5000;
    LongEditor long_(count);
    const Element &editor = long_.editor;
    QList<AccessibilityElementRef> &paragraphs = long_.paragraphs;
    const std::vector<Element> &elements = long_.elements;
    const QStringList &texts = long_.texts;
    const int &rounds = long_.rounds;
    editor->set(ax::caret, AccessibilityRange{caretParagraph, 0});
    elements[caretParagraph]->set(ax::selectedTextRange, AccessibilityRange{3, 0});
    // Each request for paragraphs is a round of calls to the page: the
    // window is asked for a few rounds, not a paragraph at a time.

    EmbeddedObjectTextElement element(editor,
                                      std::make_shared<EmbeddedObjectTextElement::Knowledge>());
    const QString before =
        accessibilityValueAs<QString>(element.attributeValue(ax::value)).value_or(QString());
    EXPECT_LE(rounds, 6);
    const auto range =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
    ASSERT_TRUE(range);
    const QString whole = texts.join(QLatin1Char('\n'));
    const qsizetype caret = texts.mid(0, caretParagraph).join(QLatin1Char('\n')).size() + 1 + 3;
    ASSERT_GE(range->location, EmbeddedObjectTextElement::contextReach);
    ASSERT_GE(before.size() - range->location, EmbeddedObjectTextElement::contextReach);
    EXPECT_EQ(before.left(range->location), whole.mid(caret - range->location, range->location));
    EXPECT_EQ(before.mid(range->location), whole.mid(caret, before.size() - range->location));
    int read = 0;
    for (const Element &paragraph : elements)
        read += paragraph->readCount() > 0 ? 1 : 0;
    EXPECT_LT(read, 50);
    EXPECT_FALSE(element.isAttributeSettable(ax::value));

    // A paste of two lines: the caret's paragraph ends with the first, the
    // second makes a paragraph of its own, and the caret stands after it.
    const QString pasted = QStringLiteral(
        "口述的第一行，足够长，长到它之前的文字够多了也不会少读前面的段落。\n第二行");
    const QString head = texts[caretParagraph].left(3);
    const QString tail = texts[caretParagraph].mid(3);
    elements[caretParagraph]->set(ax::value, head + pasted.section(QLatin1Char('\n'), 0, 0));
    const Element added = paragraph(QStringLiteral("p-new"), QStringLiteral("第二行") + tail);
    added->set(ax::selectedTextRange, AccessibilityRange{3, 0});
    elements[caretParagraph]->remove(ax::selectedTextRange);
    paragraphs.insert(caretParagraph + 1, added);
    editor
        ->set(ax::value, QString(count + 1, QChar(EmbeddedObjectText::objectReplacementCharacter)))
        .set(ax::caret, AccessibilityRange{caretParagraph + 1, 0})
        .set(ax::embeddedObjects, paragraphs);
    EXPECT_EQ(accessibilityValueAs<QString>(element.attributeValue(ax::value)),
              QString(before).replace(range->location, 0, pasted));
    EXPECT_EQ(
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange)),
        (AccessibilityRange{range->location + pasted.size(), 0}));

    // A selection over two paragraphs, read anew, is replaced as one: the
    // paste joins them.
    EmbeddedObjectTextElement selecting(editor,
                                        std::make_shared<EmbeddedObjectTextElement::Knowledge>());
    editor->set(ax::caret, AccessibilityRange{7001, 0});
    elements[6999]->set(ax::selectedTextRange,
                        AccessibilityRange{5, qint64(texts[6999].size()) - 5});
    elements[7000]->set(ax::selectedTextRange, AccessibilityRange{0, 3});
    const QString spanning =
        accessibilityValueAs<QString>(selecting.attributeValue(ax::value)).value_or(QString());
    const auto selected =
        accessibilityValueAs<AccessibilityRange>(selecting.attributeValue(ax::selectedTextRange));
    ASSERT_TRUE(selected);
    EXPECT_EQ(spanning.mid(selected->location, selected->length),
              texts[6999].mid(5) + QLatin1Char('\n') + texts[7000].left(3));
    elements[6999]
        ->set(ax::value, texts[6999].left(5) + QStringLiteral("文本") + texts[7000].mid(3))
        .set(ax::selectedTextRange, AccessibilityRange{7, 0});
    paragraphs.removeAt(7001);
    editor->set(ax::value, QString(count, QChar(EmbeddedObjectText::objectReplacementCharacter)))
        .set(ax::caret, AccessibilityRange{7000, 0})
        .set(ax::embeddedObjects, paragraphs);
    EXPECT_EQ(
        accessibilityValueAs<QString>(selecting.attributeValue(ax::value)),
        QString(spanning).replace(selected->location, selected->length, QStringLiteral("文本")));
    EXPECT_EQ(
        accessibilityValueAs<AccessibilityRange>(selecting.attributeValue(ax::selectedTextRange)),
        (AccessibilityRange{selected->location + 2, 0}));
}

// A list as a page's editor holds one: its own text one U+FFFC per item.
struct List {
    Element element;
    std::vector<Element> items;
    QStringList texts;

    void setItems(const std::vector<Element> &elements) {
        items = elements;
        element
            ->set(ax::value, QString(qsizetype(items.size()),
                                     QChar(EmbeddedObjectText::objectReplacementCharacter)))
            .set(ax::embeddedObjects, QList<AccessibilityElementRef>(items.cbegin(), items.cend()));
    }
    int itemsRead() const {
        return int(std::count_if(items.cbegin(), items.cend(),
                                 [](const Element &item) { return item->readCount() > 0; }));
    }
};

List longList(const QString &name, int count) {
    List list{FakeAccessibilityElement::create(name), {}, {}};
    list.element->set(ax::role, QStringLiteral("list")).set(ax::display, QStringLiteral("block"));
    std::vector<Element> items;
    for (int index = 0; index < count; ++index) {
        list.texts << QStringLiteral("%1的第%2项").arg(name).arg(index);
        items.push_back(paragraph(QStringLiteral("%1-%2").arg(name).arg(index), list.texts.last()));
        items.back()->set(ax::role, QStringLiteral("list item"));
    }
    list.setItems(items);
    return list;
}

// A list of thousands of items in an editor is read as the editor is:
// around the caret when the caret is in one of its items (the list, as a
// browser does, says its caret is at that item), with the offsets of the
// part read right, and the same part again after a paste into the item.
TEST(EmbeddedObjectTextElementWindowTest, ACaretInALongListIsReadAroundItsItem) {
    constexpr int caretItem = 1500;
    List list = longList(QStringLiteral("清单"), 3000);
    const Element first = paragraph(QStringLiteral("p1"), QStringLiteral("开头一段。"));
    const Element last = paragraph(QStringLiteral("p3"), QStringLiteral("结尾一段。"));
    const Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    editor->set(ax::value, object + object + object)
        .set(ax::caret, AccessibilityRange{1, 0})
        .set(ax::embeddedObjects, QList<AccessibilityElementRef>{first, list.element, last});
    list.element->set(ax::caret, AccessibilityRange{caretItem, 0})
        .set(ax::selectedTextRange, AccessibilityRange{caretItem, 0});
    list.items[caretItem]->set(ax::selectedTextRange, AccessibilityRange{3, 0});

    EmbeddedObjectTextElement element(editor,
                                      std::make_shared<EmbeddedObjectTextElement::Knowledge>());
    const auto value = accessibilityValueAs<QString>(element.attributeValue(ax::value));
    ASSERT_TRUE(value);
    const QString before = *value;
    const auto range =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
    ASSERT_TRUE(range);
    const QString whole = QStringList{QStringLiteral("开头一段。"), list.texts.join(u'\n'),
                                      QStringLiteral("结尾一段。")}
                              .join(u'\n');
    const qsizetype caret = QStringLiteral("开头一段。").size() + 1 +
                            list.texts.mid(0, caretItem).join(u'\n').size() + 1 + 3;
    ASSERT_GE(range->location, EmbeddedObjectTextElement::contextReach);
    ASSERT_GE(before.size() - range->location, EmbeddedObjectTextElement::contextReach);
    EXPECT_EQ(before.left(range->location), whole.mid(caret - range->location, range->location));
    EXPECT_EQ(before.mid(range->location), whole.mid(caret, before.size() - range->location));
    EXPECT_LT(list.itemsRead(), 100);

    // Two whole items selected are selected in the list, at their places
    // in its whole text.
    const qsizetype itemStart = range->location - 3 - list.texts[caretItem - 1].size() - 1;
    EXPECT_TRUE(element.setAttributeValue(
        ax::selectedTextRange, AccessibilityRange{itemStart, list.texts[caretItem - 1].size() + 1 +
                                                                 list.texts[caretItem].size()}));
    EXPECT_EQ(accessibilityValueAs<AccessibilityRange>(
                  list.element->attributeValue(ax::selectedTextRange)),
              (AccessibilityRange{caretItem - 1, 2}));
    list.element->set(ax::selectedTextRange, AccessibilityRange{caretItem, 0});

    // A paste of two lines: the item ends with the first, the second makes
    // an item of its own, which holds the caret.
    const QString pasted = QStringLiteral("口述的第一行\n第二行");
    const QString text = list.texts[caretItem];
    list.items[caretItem]
        ->set(ax::value, text.left(3) + QStringLiteral("口述的第一行"))
        .remove(ax::selectedTextRange);
    const Element added = paragraph(QStringLiteral("new"), QStringLiteral("第二行") + text.mid(3));
    added->set(ax::role, QStringLiteral("list item"))
        .set(ax::selectedTextRange, AccessibilityRange{3, 0});
    std::vector<Element> items = list.items;
    items.insert(items.begin() + caretItem + 1, added);
    list.setItems(items);
    list.element->set(ax::caret, AccessibilityRange{caretItem + 1, 0})
        .set(ax::selectedTextRange, AccessibilityRange{caretItem + 1, 0});
    EXPECT_EQ(accessibilityValueAs<QString>(element.attributeValue(ax::value)),
              QString(before).replace(range->location, 0, pasted));
    EXPECT_EQ(
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange)),
        (AccessibilityRange{range->location + pasted.size(), 0}));
}

// Long lists before and after the caret's paragraph give the text next to
// it: the last items of the one before, the first of the one after.
TEST(EmbeddedObjectTextElementWindowTest, LongListsAroundTheCaretsParagraphGiveTheirNearestItems) {
    List above = longList(QStringLiteral("上表"), 3000);
    List below = longList(QStringLiteral("下表"), 3000);
    const Element middle = paragraph(QStringLiteral("p"), QStringLiteral("光标所在的段落。"));
    middle->set(ax::selectedTextRange, AccessibilityRange{2, 0});
    const Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    editor->set(ax::value, object + object + object)
        .set(ax::caret, AccessibilityRange{1, 0})
        .set(ax::embeddedObjects,
             QList<AccessibilityElementRef>{above.element, middle, below.element});

    EmbeddedObjectTextElement element(editor,
                                      std::make_shared<EmbeddedObjectTextElement::Knowledge>());
    const auto value = accessibilityValueAs<QString>(element.attributeValue(ax::value));
    ASSERT_TRUE(value);
    const auto range =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
    ASSERT_TRUE(range);
    const QString whole = QStringList{above.texts.join(u'\n'), QStringLiteral("光标所在的段落。"),
                                      below.texts.join(u'\n')}
                              .join(u'\n');
    const qsizetype caret = above.texts.join(u'\n').size() + 1 + 2;
    ASSERT_GE(range->location, EmbeddedObjectTextElement::contextReach);
    ASSERT_GE(value->size() - range->location, EmbeddedObjectTextElement::contextReach);
    EXPECT_EQ(value->left(range->location), whole.mid(caret - range->location, range->location));
    EXPECT_EQ(value->mid(range->location), whole.mid(caret, value->size() - range->location));
    EXPECT_LT(above.itemsRead(), 50);
    EXPECT_LT(below.itemsRead(), 50);

    // The whole value is not the whole of either list: selecting it would
    // select thousands of items not read.
    EXPECT_FALSE(
        element.setAttributeValue(ax::selectedTextRange, AccessibilityRange{0, value->size()}));
    EXPECT_FALSE(editor->attributeValue(ax::selectedTextRange));
}

// A long list nested in an item of a short one, with a selection over
// three of its items: the selection is read whole, with as many items
// before and after it as the context needs, though the list's part read
// lies inside the value, not at its ends.
TEST(EmbeddedObjectTextElementWindowTest, ALongListInsideAnItemIsReadAroundItsSelection) {
    List inner = longList(QStringLiteral("内"), 3000);
    const Element a = paragraph(QStringLiteral("a"), QStringLiteral("甲项"));
    const Element b = paragraph(QStringLiteral("b"), QStringLiteral("乙项") + object);
    const Element c = paragraph(QStringLiteral("c"), QStringLiteral("丙项"));
    const Element outer = FakeAccessibilityElement::create(QStringLiteral("ul"));
    outer->set(ax::value, object + object + object)
        .set(ax::role, QStringLiteral("list"))
        .set(ax::caret, AccessibilityRange{1, 0})
        .set(ax::selectedTextRange, AccessibilityRange{1, 0})
        .set(ax::embeddedObjects, QList<AccessibilityElementRef>{a, b, c});
    b->set(ax::embeddedObjects, QList<AccessibilityElementRef>{inner.element})
        .set(ax::caret, AccessibilityRange{2, 0})
        .set(ax::selectedTextRange, AccessibilityRange{2, 0});
    inner.element->set(ax::caret, AccessibilityRange{1500, 0})
        .set(ax::selectedTextRange, AccessibilityRange{1498, 3});
    inner.items[1498]->set(ax::selectedTextRange, AccessibilityRange{2, 4});
    inner.items[1499]->set(ax::selectedTextRange, AccessibilityRange{0, 6});
    inner.items[1500]->set(ax::selectedTextRange, AccessibilityRange{0, 3});
    const Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    editor->set(ax::value, object + object)
        .set(ax::caret, AccessibilityRange{1, 0})
        .set(ax::embeddedObjects,
             QList<AccessibilityElementRef>{
                 paragraph(QStringLiteral("p"), QStringLiteral("开头。")), outer});

    EmbeddedObjectTextElement element(editor,
                                      std::make_shared<EmbeddedObjectTextElement::Knowledge>());
    const auto value = accessibilityValueAs<QString>(element.attributeValue(ax::value));
    ASSERT_TRUE(value);
    const auto range =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
    ASSERT_TRUE(range);
    const QString items = inner.texts.join(u'\n');
    const qsizetype start = inner.texts.mid(0, 1498).join(u'\n').size() + 1 + 2;
    const QString selected = items.mid(start, range->length);
    EXPECT_EQ(selected, inner.texts[1498].mid(2) + u'\n' + inner.texts[1499] + u'\n' +
                            inner.texts[1500].left(3));
    constexpr int reach = EmbeddedObjectTextElement::contextReach;
    EXPECT_EQ(value->mid(range->location - reach, reach + range->length + reach),
              items.mid(start - reach, reach + range->length + reach));
    EXPECT_LT(inner.itemsRead(), 100);
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

namespace tovalit {
namespace {

using Knowledge = EmbeddedObjectTextElement::Knowledge;

std::optional<QString> valueOf(AccessibilityElement &element) {
    return accessibilityValueAs<QString>(element.attributeValue(ax::value));
}

std::optional<AccessibilityRange> selectionOf(AccessibilityElement &element) {
    return accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
}

// Chromium's empty box whose hint is drawn positioned: the one element it
// embeds is the hint, and it says its text is empty. It is empty, with its
// caret at its start, at once: not a text the page has not sent yet.
TEST(EmbeddedObjectTextElementDrawnHintTest, AnEmptyBoxEmbeddingOnlyItsDrawnHintIsEmpty) {
    const Element hint = FakeAccessibilityElement::create(QStringLiteral("hint"));
    hint->set(ax::value, QStringLiteral("输入消息…"));
    const Element box = FakeAccessibilityElement::create(QStringLiteral("box"));
    box->set(ax::value, QString())
        .set(ax::characterCount, AccessibilityRange{0, 0})
        .set(ax::caret, AccessibilityRange{0, 0})
        .set(ax::selectedTextRange, AccessibilityRange{0, 0})
        .set(ax::embeddedObjects, QList<AccessibilityElementRef>{hint});
    EmbeddedObjectTextElement element(box, std::make_shared<Knowledge>());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(valueOf(element), QString());
    EXPECT_EQ(selectionOf(element), (AccessibilityRange{0, 0}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, ColdReadDeadline::moment / 2);
}

// A select-all over ten thousand paragraphs is read at its two ends, as a
// caret in ten paragraphs is read around it: the middle counts as selected
// and is not read, and the paste over it reads back as the text read with
// the selection replaced. Chromium puts the caret after the last paragraph,
// Firefox at it.
TEST(EmbeddedObjectTextElementSelectionTest, ASelectAllOverTenThousandParagraphsIsReadAtItsEnds) {
    for (const bool caretAfterLast : {true, false}) {
        LongEditor long_(10000);
        long_.selectAll();
        long_.editor->set(ax::caret, AccessibilityRange{caretAfterLast ? 10000 : 9999, 0});
        EmbeddedObjectTextElement element(long_.editor, std::make_shared<Knowledge>());
        const auto value = valueOf(element);
        ASSERT_TRUE(value);
        const auto range = selectionOf(element);
        ASSERT_TRUE(range);
        EXPECT_EQ(*range, (AccessibilityRange{0, value->size()}));
        const QString head = long_.texts.mid(0, 30).join(u'\n');
        EXPECT_TRUE(value->startsWith(head.left(EmbeddedObjectReader::selectionReach)));
        EXPECT_TRUE(value->endsWith(long_.texts.last()));
        EXPECT_LT(long_.read(), 120);
        EXPECT_LE(long_.rounds, 12);

        long_.replaceAll(QStringLiteral("口述的文字"));
        EXPECT_EQ(valueOf(element), QStringLiteral("口述的文字"));
        EXPECT_EQ(selectionOf(element), (AccessibilityRange{5, 0}));
    }
}

// A selection from a paragraph over a long list into the paragraph after
// it: the list inside it is read from its start as far as the selection's
// context needs, and the paste there reads back as expected.
TEST(EmbeddedObjectTextElementSelectionTest,
     ASelectionAcrossALongListReadsOnlyWhatItsContextNeeds) {
    List list = longList(QStringLiteral("清单"), 3000);
    const Element first = paragraph(QStringLiteral("p1"), QStringLiteral("开头的一段文字。"));
    const Element last = paragraph(QStringLiteral("p3"), QStringLiteral("结尾的一段文字。"));
    const Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    editor->set(ax::value, object + object + object)
        .set(ax::caret, AccessibilityRange{2, 0})
        .set(ax::embeddedObjects, QList<AccessibilityElementRef>{first, list.element, last});
    first->set(ax::selectedTextRange, AccessibilityRange{2, 6});
    list.element->set(ax::selectedTextRange, AccessibilityRange{0, 3000});
    for (int index = 0; index < 3000; ++index)
        list.items[std::size_t(index)]->set(
            ax::selectedTextRange, AccessibilityRange{0, qint64(list.texts[index].size())});
    last->set(ax::selectedTextRange, AccessibilityRange{0, 3});

    EmbeddedObjectTextElement element(editor, std::make_shared<Knowledge>());
    const auto value = valueOf(element);
    ASSERT_TRUE(value);
    const auto range = selectionOf(element);
    ASSERT_TRUE(range);
    const QString selected = value->mid(range->location, range->length);
    EXPECT_TRUE(selected.startsWith(QStringLiteral("的一段文字。\n") + list.texts[0] + u'\n' +
                                    list.texts[1]));
    EXPECT_TRUE(selected.endsWith(QStringLiteral("\n结尾的")));
    EXPECT_EQ(value->left(range->location), QStringLiteral("开头"));
    EXPECT_EQ(value->mid(range->location + range->length), QStringLiteral("一段文字。"));
    EXPECT_LT(list.itemsRead(), 100);

    // The paste joins the two paragraphs and takes the list away.
    const Element joined =
        paragraph(QStringLiteral("joined"), QStringLiteral("开头文本一段文字。"));
    joined->set(ax::selectedTextRange, AccessibilityRange{4, 0});
    editor->set(ax::value, object)
        .set(ax::caret, AccessibilityRange{0, 0})
        .set(ax::embeddedObjects, QList<AccessibilityElementRef>{joined});
    EXPECT_EQ(valueOf(element),
              QString(*value).replace(range->location, range->length, QStringLiteral("文本")));
    EXPECT_EQ(selectionOf(element), (AccessibilityRange{range->location + 2, 0}));
}

// A first line typed straight into a fresh editor is the editor's own
// text, its next lines paragraphs: a selection over all of them begins in
// that line, which only the editor says.
TEST(EmbeddedObjectTextElementSelectionTest, ASelectionFromTheEditorsOwnFirstLineIsReadWhole) {
    const Element second = paragraph(QStringLiteral("p2"), QStringLiteral("第二行。"));
    const Element third = paragraph(QStringLiteral("p3"), QStringLiteral("第三行的内容。"));
    const Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    editor->set(ax::value, QStringLiteral("第一行的文字") + object + object)
        .set(ax::caret, AccessibilityRange{7, 0})
        .set(ax::selectedTextRange, AccessibilityRange{0, 8})
        .set(ax::embeddedObjects, QList<AccessibilityElementRef>{second, third});
    second->set(ax::selectedTextRange, AccessibilityRange{0, 4});
    third->set(ax::selectedTextRange, AccessibilityRange{0, 7});
    EmbeddedObjectTextElement element(editor, std::make_shared<Knowledge>());
    EXPECT_EQ(accessibilityValueAs<QString>(element.attributeValue(ax::selectedText)),
              QStringLiteral("第一行的文字\n第二行。\n第三行的内容。"));
}

// A paragraph that says it holds a selection it cannot tell (Chromium's,
// beside a character beyond the Basic Multilingual Plane), or whose caret
// stands at neither end of its selection: what is selected is not known.
// It is never read as a caret, nor as a selection cut short at the
// paragraph before.
TEST(EmbeddedObjectTextElementSelectionTest, ASelectionAParagraphCannotTellIsNotKnown) {
    const Element first = paragraph(QStringLiteral("p1"), QStringLiteral("第一段文字。"));
    const Element second =
        paragraph(QStringLiteral("p2"), QStringLiteral("家人👨‍👩‍👧‍👦到了。"));
    const Element third = paragraph(QStringLiteral("p3"), QStringLiteral("第三段结束。"));
    const auto editorOf = [&](qint64 caret) {
        const Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
        editor->set(ax::value, object + object + object)
            .set(ax::caret, AccessibilityRange{caret, 0})
            .set(ax::embeddedObjects, QList<AccessibilityElementRef>{first, second, third});
        return editor;
    };
    const auto selectionIn = [](const Element &editor) {
        EmbeddedObjectTextElement element(editor, std::make_shared<Knowledge>());
        return selectionOf(element);
    };
    const AccessibilityRange unknown{0, 1};

    // Inside the caret's paragraph, which is read all the same: a paste
    // over the selection shows in the editor's text.
    second->set(ax::caret, AccessibilityRange{15, 0}).set(ax::selectionCount, unknown);
    EXPECT_EQ(selectionIn(editorOf(1)), std::nullopt);
    EmbeddedObjectTextElement untold(editorOf(1), std::make_shared<Knowledge>());
    EXPECT_EQ(accessibilityValueAs<QString>(untold.attributeValue(ax::value)),
              QStringLiteral("家人👨‍👩‍👧‍👦到了。"));

    // From the end of the first paragraph, backward, into the second.
    second->remove(ax::caret);
    first->set(ax::caret, AccessibilityRange{2, 0})
        .set(ax::selectedTextRange, AccessibilityRange{2, 4});
    EXPECT_EQ(selectionIn(editorOf(0)), std::nullopt);

    // Both told, the caret at neither end.
    second->remove(ax::selectionCount);
    first->set(ax::caret, AccessibilityRange{3, 0})
        .set(ax::selectedTextRange, AccessibilityRange{2, 4});
    EXPECT_EQ(selectionIn(editorOf(0)), std::nullopt);

    // Both told, the caret at the selection's start: from the first
    // paragraph's third character to the end of the family.
    second->set(ax::selectedTextRange, AccessibilityRange{0, 13});
    first->set(ax::caret, AccessibilityRange{2, 0});
    EXPECT_EQ(selectionIn(editorOf(0)), (AccessibilityRange{2, 18}));
}

// A table with empty cells above the caret's paragraph, as a mail with a
// table has: an empty cell says it is empty and is read so at once, and an
// element that answers nothing at all leaves out itself, not the editor.
TEST(EmbeddedObjectTextElementShapesTest, EmptyCellsReadEmptyAndAnUnreadableElementIsLeftOut) {
    const auto cell = [](const QString &name, const QString &text) {
        Element element = paragraph(name, text);
        element->set(ax::role, QStringLiteral("table cell"))
            .set(ax::display, QStringLiteral("table-cell"))
            .set(ax::characterCount, AccessibilityRange{0, qint64(text.size())});
        return element;
    };
    const auto row = [](const QString &name, const QList<AccessibilityElementRef> &cells) {
        Element element = paragraph(name, object + object);
        element->set(ax::role, QStringLiteral("table row"))
            .set(ax::display, QStringLiteral("table-row"))
            .set(ax::embeddedObjects, cells);
        return element;
    };
    const Element empty = cell(QStringLiteral("c2"), QString());
    const Element table = paragraph(QStringLiteral("table"), object + object);
    table->set(ax::role, QStringLiteral("table"))
        .set(ax::display, QStringLiteral("table"))
        .set(ax::embeddedObjects,
             QList<AccessibilityElementRef>{
                 row(QStringLiteral("r1"),
                     {cell(QStringLiteral("c1"), QStringLiteral("甲")), empty}),
                 row(QStringLiteral("r2"), {cell(QStringLiteral("c3"), QString()),
                                            cell(QStringLiteral("c4"), QString())})});
    const Element gone = FakeAccessibilityElement::create(QStringLiteral("gone"));
    const Element caretParagraph =
        paragraph(QStringLiteral("p3"), QStringLiteral("光标在这一段。"));
    caretParagraph->set(ax::selectedTextRange, AccessibilityRange{2, 0});
    const Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    editor->set(ax::value, object + object + object + object)
        .set(ax::caret, AccessibilityRange{3, 0})
        .set(ax::embeddedObjects,
             QList<AccessibilityElementRef>{
                 gone, paragraph(QStringLiteral("p1"), QStringLiteral("第一段。")), table,
                 caretParagraph});
    EmbeddedObjectTextElement element(editor, std::make_shared<Knowledge>());
    const auto value = valueOf(element);
    ASSERT_TRUE(value);
    EXPECT_EQ(empty->readCount(), 3) << "its text, its count and its layout, once each";
    EXPECT_TRUE(value->startsWith(QStringLiteral("第一段。\n甲")));
    EXPECT_TRUE(value->endsWith(QStringLiteral("\n光标在这一段。")));
    EXPECT_EQ(selectionOf(element), (AccessibilityRange{value->size() - 5, 0}));
}

} // namespace
} // namespace tovalit

namespace tovalit {
namespace {

// Firefox answers the first reads of a freshly opened page from what it
// has so far: the editor's own text without the line typed straight into
// it, while its caret already counts that line, and the paragraph there
// knows no caret yet. The reading waits until the two agree rather than
// put the caret two paragraphs on.
TEST(EmbeddedObjectTextElementFirstReadTest, AFirstReadWithoutTheTypedLineIsReadAgain) {
    const Element first = paragraph(QStringLiteral("p1"), QStringLiteral("第一段文字。"));
    const Element second = paragraph(QStringLiteral("p2"), QStringLiteral("第二段的内容。"));
    const Element third = paragraph(QStringLiteral("p3"), QStringLiteral("第三段结束。"));
    const Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    const QString whole = QStringLiteral("开头一行") + object + object + object;
    editor->set(ax::value, object + object + object)
        .set(ax::caret, AccessibilityRange{5, 0})
        .set(ax::embeddedObjects, QList<AccessibilityElementRef>{first, second, third});
    second->set(ax::selectedTextRange, AccessibilityRange{2, 0});
    auto reads = std::make_shared<int>(0);
    editor->onRead([editor = editor.get(), reads, whole](const QString &attribute) {
        if (attribute == ax::value && ++*reads == 3)
            editor->set(ax::value, whole);
    });
    EmbeddedObjectTextElement element(editor, std::make_shared<Knowledge>());
    EXPECT_EQ(accessibilityValueAs<QString>(element.attributeValue(ax::value)),
              QStringLiteral("开头一行\n第一段文字。\n第二段的内容。\n第三段结束。"));
    EXPECT_EQ(selectionOf(element), (AccessibilityRange{14, 0}));
}

} // namespace
} // namespace tovalit

namespace tovalit {
namespace {

// Time on the reads' clock passes only as a test says.
std::atomic<std::int64_t> coldReadNow{0};

std::chrono::steady_clock::time_point coldReadClock() {
    return std::chrono::steady_clock::time_point(std::chrono::milliseconds(coldReadNow.load()));
}

// The editor is read in jobs of a thread whose deadlines read that clock.
class ColdCaretParagraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        editor.editor->set(ax::caret, AccessibilityRange{caretLink, 0});
        // The page placed the caret at the very start of the paragraph.
        caretParagraph()->set(ax::selectedTextRange, AccessibilityRange{0, 0});
        caretParagraph()
            ->set(ax::value, QString())
            .set(ax::characterCount, AccessibilityRange{0, 0});
    }

    const Element &caretParagraph() { return editor.elements[std::size_t(caretLink)]; }
    // Firefox's text of the paragraph, its count too, from the `reads`th
    // read of it on; every read costs a few milliseconds.
    void textComesAt(int reads) {
        auto made = std::make_shared<int>(0);
        const QString text = editor.texts[caretLink];
        caretParagraph()->onRead(
            [paragraph = caretParagraph().get(), made, reads, text](const QString &attribute) {
                coldReadNow += 5;
                if (attribute == ax::value && ++*made == reads)
                    paragraph->set(ax::value, text)
                        .set(ax::characterCount, AccessibilityRange{0, qint64(text.size())});
            });
    }
    std::optional<QString> after(const AccessibilityElementRef &element) {
        return testing::runTask(thread.run([element]() -> std::optional<QString> {
            const auto value = accessibilityValueAs<QString>(element->attributeValue(ax::value));
            const auto range = accessibilityValueAs<AccessibilityRange>(
                element->attributeValue(ax::selectedTextRange));
            if (!value || !range)
                return std::nullopt;
            return value->mid(range->location + range->length);
        }));
    }

    static constexpr int caretLink = 1499;
    LongEditor editor{3000};
    AccessibilityThread thread{&coldReadClock};
};

// The first dictation into a freshly opened page, with the caret at the
// start of a paragraph of a long document: Firefox answers the paragraph's
// text and count as empty at first, and its caret at 0 agrees with that.
// The text after the caret begins with that paragraph all the same.
TEST_F(ColdCaretParagraphTest, AnEmptyAnswerAtTheCaretIsReadAgainUntilTheTextComes) {
    textComesAt(6);
    const auto text = after(EmbeddedObjectTextElement::wrap(editor.editor));
    ASSERT_TRUE(text);
    EXPECT_TRUE(
        text->startsWith(editor.texts[caretLink] + QLatin1Char('\n') + editor.texts[caretLink + 1]))
        << text->left(40).toStdString();
}

// A paragraph at the caret that never answers more than nothing within the
// moment is left out of the context, not taken for an empty line; the
// reading costs that moment and no more. A second editor read in the same
// job waits no moment of its own: the job waits for a cold page once.
TEST_F(ColdCaretParagraphTest, AnAnswerThatNeverComesLeavesTheContextAbsentNotEmpty) {
    textComesAt(100000);
    const AccessibilityElementRef element = EmbeddedObjectTextElement::wrap(editor.editor);
    const AccessibilityElementRef another = EmbeddedObjectTextElement::wrap(editor.editor);
    const auto valueAndCost = [](const AccessibilityElementRef &read) {
        const std::int64_t start = coldReadNow;
        const auto value = accessibilityValueAs<QString>(read->attributeValue(ax::value));
        return std::pair{value, coldReadNow - start};
    };
    const auto [first, second] = testing::runTask(thread.run([&] {
        return std::pair{valueAndCost(element), valueAndCost(another)};
    }));
    EXPECT_EQ(first.first, std::nullopt);
    EXPECT_GE(first.second, ColdReadDeadline::moment.count());
    EXPECT_LE(first.second, ColdReadDeadline::moment.count() + 50);
    EXPECT_EQ(second.first, std::nullopt);
    EXPECT_LE(second.second, 50);
}

} // namespace
} // namespace tovalit
