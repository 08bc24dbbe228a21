#include "services/text_injection/insertion_preparation.h"
#include "tests/services/text_injection/insertion_printers.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Prep = InsertionPreparation;

FocusedInputContext field(const QString &value, qint64 location, qint64 length = 0) {
    return FocusedInputContext{nullptr, value, AccessibilityRange{location, length}};
}

NaturalFormattingContext captured(std::optional<QString> before,
                                  std::optional<QString> selected = {},
                                  std::optional<QString> after = {}) {
    NaturalFormattingContext context;
    context.surroundingTextBeforeCursor = std::move(before);
    context.selectedText = std::move(selected);
    context.surroundingTextAfterCursor = std::move(after);
    return context;
}

Prep::Characters chars(const QString &text) {
    return Prep::characters(text);
}

TEST(InsertionPreparationTest, TextAlreadyAroundTheCaretIsNotTypedTwice) {
    // The whole dictation already stands there: nothing is written.
    const PreparedInsertion repeated = Prep::prepareInsertion(
        QStringLiteral("at the station"), field(QStringLiteral("Meet at the station at ten"), 12));
    EXPECT_EQ(repeated.text, QString());
    EXPECT_EQ(repeated.source, PreparationSource::live);
    ASSERT_TRUE(repeated.context);
    EXPECT_EQ(repeated.context->selectedRange, (AccessibilityRange{12, 0}));

    // Its end stands after the caret: the words in between are re-taken.
    const PreparedInsertion retaken = Prep::prepareInsertion(
        QStringLiteral("later tomorrow"), field(QStringLiteral("See you at noon tomorrow"), 8));
    EXPECT_EQ(retaken.text, QStringLiteral("later"));
    EXPECT_EQ(retaken.source, PreparationSource::live);
    ASSERT_TRUE(retaken.context);
    EXPECT_EQ(retaken.context->selectedRange, (AccessibilityRange{8, 7}));
    EXPECT_EQ(retaken.context->currentValue, QStringLiteral("See you at noon tomorrow"));

    // Equal characters in another normal form still overlap.
    const PreparedInsertion decomposed = Prep::prepareInsertion(
        QStringLiteral("cafe\u0301 au lait"), field(QStringLiteral("Un café"), 7));
    EXPECT_EQ(decomposed.text, QStringLiteral(" au lait"));
    EXPECT_EQ(decomposed.source, PreparationSource::live);
}

TEST(InsertionPreparationTest, LiveFieldKeepsAnUnrelatedSentenceTheUserTyped) {
    const FocusedInputContext typed = field(QStringLiteral("今天天气不错。我们明天去爬山"), 14);
    const PreparedInsertion prepared =
        Prep::prepareInsertion(QStringLiteral("周末一起去看电影吧"), typed);
    EXPECT_EQ(prepared.text, QStringLiteral("周末一起去看电影吧"));
    EXPECT_EQ(prepared.source, PreparationSource::none);
    ASSERT_TRUE(prepared.context);
    EXPECT_EQ(prepared.context->selectedRange, (AccessibilityRange{14, 0}));

    // The rule itself still proposes the sentence.
    EXPECT_EQ(Prep::sentenceScopedFallbackRewrite(typed.currentValue, {14, 14},
                                                  QStringLiteral("周末一起去看电影吧"), 120, 6, 8),
              (ContextAwareInsertionRewrite{{7, 14}, QStringLiteral("周末一起去看电影吧")}));
    // Four shared characters mean the dictation continues the sentence.
    EXPECT_FALSE(Prep::sentenceScopedFallbackRewrite(
        typed.currentValue, {14, 14}, QStringLiteral("我们明天一起去爬山吧"), 120, 6, 8));
}

TEST(InsertionPreparationTest, CapturedContextOnlyChangesTheText) {
    const PreparedInsertion sentence =
        Prep::prepareInsertion(QStringLiteral("周末一起去看电影吧"),
                               captured(QStringLiteral("今天天气不错。我们明天去爬山")));
    EXPECT_EQ(sentence.text, QStringLiteral("周末一起去看电影吧"));
    EXPECT_EQ(sentence.source, PreparationSource::capturedSentence);
    EXPECT_FALSE(sentence.context);

    // The sentence rule trims: a changed text is a plain captured rewrite.
    const PreparedInsertion padded =
        Prep::prepareInsertion(QStringLiteral("  周末一起去看电影吧 \n"),
                               captured(QStringLiteral("今天天气不错。我们明天去爬山")));
    EXPECT_EQ(padded.text, QStringLiteral("周末一起去看电影吧"));
    EXPECT_EQ(padded.source, PreparationSource::captured);

    const PreparedInsertion nothing =
        Prep::prepareInsertion(QStringLiteral("你好"), captured(std::nullopt, QString()));
    EXPECT_EQ(nothing.text, QStringLiteral("你好"));
    EXPECT_EQ(nothing.source, PreparationSource::none);
    EXPECT_FALSE(nothing.context);
}

TEST(InsertionPreparationTest, MinimumOverlapIsFourLiveAndThreeCaptured) {
    // "wor" ends the text before the caret and begins the dictation.
    const PreparedInsertion live = Prep::prepareInsertion(QStringLiteral("world peace"),
                                                          field(QStringLiteral("Hello wor"), 9));
    EXPECT_EQ(live.text, QStringLiteral("world peace"));
    EXPECT_EQ(live.source, PreparationSource::none);

    const PreparedInsertion fromCapture = Prep::prepareInsertion(
        QStringLiteral("world peace"), captured(QStringLiteral("Hello wor")));
    EXPECT_EQ(fromCapture.text, QStringLiteral("ld peace"));
    EXPECT_EQ(fromCapture.source, PreparationSource::captured);

    // A selection is overwritten together with what lies between it and
    // the matched end.
    EXPECT_EQ(Prep::contextAwareRewrite(QStringLiteral("我们下午三点在会议室开会"), {4, 6},
                                        QStringLiteral("四点在会议室开会"), 80, 4),
              (ContextAwareInsertionRewrite{{4, 6}, QStringLiteral("四点")}));
    EXPECT_FALSE(
        Prep::contextAwareRewrite(QStringLiteral("abc"), {2, 4}, QStringLiteral("x"), 80, 4));
    EXPECT_FALSE(
        Prep::contextAwareRewrite(QStringLiteral("abc"), {-1, 1}, QStringLiteral("x"), 80, 4));
}

TEST(InsertionPreparationTest, SelectionsThatSplitACharacterAreLeftAlone) {
    // "a😀b": 3 is inside the emoji; "e\u0301" is one character.
    EXPECT_EQ(
        Prep::prepareInsertion(QStringLiteral("b hello"), field(QStringLiteral("a😀b hello"), 2, 1))
            .source,
        PreparationSource::none);
    EXPECT_FALSE(Prep::characterRange({2, 1}, QStringLiteral("a😀b")));
    EXPECT_FALSE(Prep::characterRange({1, 0}, QStringLiteral("e\u0301x")));
    EXPECT_FALSE(Prep::characterRange({2, 3}, QStringLiteral("abcd")));
    EXPECT_FALSE(Prep::characterRange({-1, 1}, QStringLiteral("abcd")));
    EXPECT_EQ(Prep::characterRange({1, 2}, QStringLiteral("a😀b")), (CharacterRange{1, 2}));
    EXPECT_EQ(Prep::characterRange({4, 0}, QStringLiteral("a😀b")), (CharacterRange{3, 3}));

    EXPECT_EQ(Prep::utf16Range({1, 3}, QStringLiteral("a😀e\u0301b")), (AccessibilityRange{1, 4}));
    EXPECT_FALSE(Prep::utf16Range({2, 1}, QStringLiteral("abc")));
    EXPECT_FALSE(Prep::utf16Range({1, 4}, QStringLiteral("abc")));
    EXPECT_FALSE(Prep::utf16Range({-1, 0}, QStringLiteral("abc")));
}

TEST(InsertionPreparationTest, SentenceFallbackOnlyForAShortUnitAroundAnEmptySelection) {
    const QString dictated = QStringLiteral("周末一起去看电影吧");
    const QString text = QStringLiteral("今天天气不错。我们明天去爬山");
    EXPECT_FALSE(Prep::sentenceScopedFallbackRewrite(text, {7, 14}, dictated, 120, 6, 8));
    // Seven characters after trimming are too few; eight are enough.
    EXPECT_FALSE(Prep::sentenceScopedFallbackRewrite(
        text, {14, 14}, QStringLiteral(" 周末一起去看电影 "), 120, 6, 9));
    EXPECT_TRUE(Prep::sentenceScopedFallbackRewrite(
        text, {14, 14}, QStringLiteral(" 周末一起去看电影 "), 120, 6, 8));
    // Units of five and of 121 characters.
    EXPECT_FALSE(Prep::sentenceScopedFallbackRewrite(QStringLiteral("好的。我们走吧啊"), {8, 8},
                                                     dictated, 120, 6, 8));
    const QString longUnit = QString(121, QChar(u'长'));
    EXPECT_FALSE(Prep::sentenceScopedFallbackRewrite(longUnit, {121, 121}, dictated, 120, 6, 8));
    EXPECT_TRUE(
        Prep::sentenceScopedFallbackRewrite(longUnit.left(120), {120, 120}, dictated, 120, 6, 8));
    // The same words apart from spaces and punctuation.
    EXPECT_FALSE(Prep::sentenceScopedFallbackRewrite(QStringLiteral("一，二，三，四，五"), {9, 9},
                                                     QStringLiteral("一 二 三 四 五"), 120, 6, 8));
}

TEST(InsertionPreparationTest, SentenceUnitsEndAtChinesePunctuationAndLineBreaksNotFullStops) {
    const auto unit = [](const QString &text, qsizetype caret) {
        return Prep::sentenceUnitRange(chars(text), caret);
    };
    EXPECT_EQ(unit(QStringLiteral("今天天气不错。我们明天去爬山"), 3), (CharacterRange{0, 7}));
    EXPECT_EQ(unit(QStringLiteral("今天天气不错。我们明天去爬山"), 14), (CharacterRange{7, 14}));
    EXPECT_EQ(unit(QStringLiteral("Hi there. All fine"), 18), (CharacterRange{0, 18}));
    // The delimiter belongs to the sentence it ends.
    EXPECT_EQ(unit(QStringLiteral("好吗？ 是的；再见"), 5), (CharacterRange{4, 7}));
    EXPECT_EQ(unit(QStringLiteral("好吗？ 是的；再见"), 7), (CharacterRange{7, 9}));
    EXPECT_EQ(unit(QStringLiteral("第一行\n  第二行  \n第三行"), 6), (CharacterRange{6, 9}));
    EXPECT_EQ(unit(QStringLiteral("结束。   "), 6), (CharacterRange{6, 6}));
    EXPECT_EQ(unit(QStringLiteral("abc"), -4), (CharacterRange{0, 3}));
}

TEST(InsertionPreparationTest, OverlapSearchesPreferTheLongestThenTheLeftmost) {
    EXPECT_EQ(Prep::longestSuffixPrefixOverlap(chars(QStringLiteral("xabab")),
                                               chars(QStringLiteral("ababy"))),
              4);
    EXPECT_EQ(Prep::longestSuffixPrefixOverlap(chars(QString()), chars(QStringLiteral("a"))), 0);
    EXPECT_EQ(Prep::longestSuffixSubstringOverlap(chars(QStringLiteral("xbcxbc")),
                                                  chars(QStringLiteral("abc"))),
              (RightContextOverlap{1, 2}));
    EXPECT_EQ(Prep::longestSuffixSubstringOverlap(chars(QStringLiteral("xyz")),
                                                  chars(QStringLiteral("abc"))),
              (RightContextOverlap{0, 0}));
    EXPECT_EQ(Prep::longestCommonSubstringLength(chars(QStringLiteral("我们明天去爬山")),
                                                 chars(QStringLiteral("我们明天一起去爬山吧"))),
              4);
    EXPECT_EQ(Prep::longestCommonSubstringLength(chars(QString()), chars(QStringLiteral("a"))), 0);
    EXPECT_EQ(Prep::normalizeForComparison(QStringLiteral(" 一，二！ 三\n")),
              QStringLiteral("一二三"));
}

TEST(InsertionPreparationTest, SourceNamesRoundTrip) {
    for (const PreparationSource source :
         {PreparationSource::none, PreparationSource::live, PreparationSource::captured,
          PreparationSource::liveSentence, PreparationSource::capturedSentence})
        EXPECT_EQ(preparationSourceFromRawValue(rawValue(source)), source);
    EXPECT_FALSE(preparationSourceFromRawValue(QStringLiteral("Live")));
}

} // namespace
} // namespace tovalit
