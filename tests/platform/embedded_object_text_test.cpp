#include "platform/embedded_object_text.h"
#include "tests/support/qt_printers.h"

#include <QMap>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Span = EmbeddedObjectText::Span;
using Range = std::pair<qsizetype, qsizetype>;

const QString object(1, QChar(EmbeddedObjectText::objectReplacementCharacter));

EmbeddedObjectText::Reader readerOf(QMap<int, EmbeddedObjectNode> tree) {
    return [tree](int node) -> std::optional<EmbeddedObjectNode> {
        if (!tree.contains(node))
            return std::nullopt;
        return tree.value(node);
    };
}

EmbeddedObjectText::SelectionReader selectionsOf(QMap<int, Range> selections) {
    return [selections](int node) -> std::optional<Range> {
        if (!selections.contains(node))
            return std::nullopt;
        return selections.value(node);
    };
}

// An editor of three paragraphs, as browsers expose one: its own text is
// one U+FFFC per paragraph, and it reports the caret at the paragraph
// that holds it.
TEST(EmbeddedObjectText, ParagraphsReadAsLinesAndPlacesMapBothWays) {
    const auto text =
        EmbeddedObjectText::read(readerOf({{0, {object + object + object, {1, 2, 3}, true}},
                                           {1, {QStringLiteral("第一段文字。"), {}, true}},
                                           {2, {QStringLiteral("第二段的内容在这里。"), {}, true}},
                                           {3, {QStringLiteral("第三段结束。"), {}, true}}}),
                                 10);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text(), QStringLiteral("第一段文字。\n第二段的内容在这里。\n第三段结束。"));

    // The caret, two characters into the second paragraph.
    EXPECT_EQ(text->selection({1, 1}, selectionsOf({{2, {2, 2}}})), Range(9, 9));
    // A selection inside it, and one from the first paragraph into the
    // second: each end is where its paragraph says.
    EXPECT_EQ(text->selection({1, 2}, selectionsOf({{2, {2, 5}}})), Range(9, 12));
    EXPECT_EQ(text->selection({0, 2}, selectionsOf({{1, {2, 6}}, {2, {0, 3}}})), Range(2, 10));
    // A paragraph that does not say where in it the caret is: its start.
    EXPECT_EQ(text->selection({1, 1}, selectionsOf({})), Range(7, 7));

    // Back to the paragraphs: each side of a line break is its own.
    EXPECT_EQ(text->span(9, 9), (Span{2, 2, 2}));
    EXPECT_EQ(text->span(6, 6), (Span{1, 6, 6}));
    EXPECT_EQ(text->span(7, 7), (Span{2, 0, 0}));
    EXPECT_EQ(text->span(9, 12), (Span{2, 2, 5}));
    EXPECT_EQ(text->span(2, 10), std::nullopt) << "parts of two paragraphs";
    EXPECT_EQ(text->span(0, 17), (Span{0, 0, 2})) << "two whole paragraphs, in the editor's text";
    EXPECT_EQ(text->span(0, 25), std::nullopt);
    EXPECT_EQ(text->offsetOf({2, 10}), 17);
    EXPECT_EQ(text->offsetOf({0, 3}), 24);
    EXPECT_EQ(text->offsetOf({2, 11}), std::nullopt);
}

// A link inside a paragraph runs on in its line; an empty paragraph (its
// one line break, as browsers expose it) is an empty line with a place for
// the caret, and a paragraph's closing line break adds no line.
TEST(EmbeddedObjectText, InlineObjectsRunOnAndEmptyParagraphsKeepTheirPlace) {
    const auto text = EmbeddedObjectText::read(
        readerOf({{0, {object + object, {1, 2}, true}},
                  {1, {QStringLiteral("请看") + object + QStringLiteral("了解\n"), {3}, true}},
                  {3, {QStringLiteral("说明"), {}, false}},
                  {2, {QStringLiteral("\n"), {}, true}}}),
        10);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text(), QStringLiteral("请看说明了解\n"));
    EXPECT_EQ(text->selection({1, 1}, selectionsOf({{2, {0, 0}}})), Range(7, 7));
    EXPECT_EQ(text->span(7, 7), (Span{2, 0, 0}));
    EXPECT_EQ(text->span(0, 6), (Span{1, 0, 5}));
    EXPECT_EQ(text->span(2, 6), (Span{1, 2, 5})) << "the whole link and what follows it";
    EXPECT_EQ(text->span(3, 6), std::nullopt) << "part of the link and what follows it";
    EXPECT_EQ(text->offsetOf({1, 3}), 4);
    EXPECT_EQ(text->offsetOf({1, 6}), 6);
    EXPECT_EQ(text->offsetOf({2, 1}), 7);
}

TEST(EmbeddedObjectText, ATreeThatCannotBeReadWholeIsNotReadAtAll) {
    const EmbeddedObjectNode editor{object + object, {1, 2}, true};
    const EmbeddedObjectNode paragraph{QStringLiteral("一段"), {}, true};
    EXPECT_TRUE(
        EmbeddedObjectText::read(readerOf({{0, editor}, {1, paragraph}, {2, paragraph}}), 3));
    EXPECT_FALSE(
        EmbeddedObjectText::read(readerOf({{0, editor}, {1, paragraph}, {2, paragraph}}), 2))
        << "more elements than allowed";
    EXPECT_FALSE(EmbeddedObjectText::read(readerOf({{0, editor}, {1, paragraph}}), 10))
        << "an element that does not answer";
    EXPECT_FALSE(EmbeddedObjectText::read(readerOf({{0, {object, {0}, true}}}), 10))
        << "an element that embeds itself";
}

} // namespace
} // namespace tovalit
