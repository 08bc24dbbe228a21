#include "support/regex.h"
#include "support/textkit.h"

#include <gtest/gtest.h>
#include <memory>
#include <unicode/brkiter.h>

namespace tovalit::textkit {
namespace {

// Hard cases: one user-visible character each, several UTF-16 units.
const QString thumbsWithSkinTone = QStringLiteral("👍🏽");      // 4 units
const QString family = QStringLiteral("👨‍👩‍👧‍👦"); // 11 units, ZWJ sequence
const QString flag = QStringLiteral("🇨🇳");                          // regional indicators
const QString combiningE = QStringLiteral("e\u0301");               // e + combining acute
const QString extensionB = QString::fromUcs4(U"\U00020000");        // surrogate pair ideograph

TEST(TextKitGraphemes, CountsWhatAUserSeesAsOneCharacter) {
    EXPECT_EQ(graphemeCount(thumbsWithSkinTone), 1);
    EXPECT_EQ(graphemeCount(family), 1);
    EXPECT_EQ(graphemeCount(flag), 1);
    EXPECT_EQ(graphemeCount(combiningE), 1);
    EXPECT_EQ(graphemeCount(extensionB), 1);
    EXPECT_EQ(graphemeCount(QStringLiteral("㐀你好")), 3); // Ext-A is in the BMP
    EXPECT_EQ(graphemeCount(QStringLiteral("\r\n")), 1);
    EXPECT_EQ(graphemeCount(QString()), 0);

    const QString mixed = QStringLiteral("a") + family + combiningE + QStringLiteral("中");
    EXPECT_EQ(graphemeCount(mixed), 4);
    EXPECT_EQ(graphemePrefix(mixed, 2), QStringLiteral("a") + family);
    EXPECT_EQ(graphemeSuffix(mixed, 2), combiningE + QStringLiteral("中"));
    EXPECT_EQ(graphemeSlice(mixed, 1, 2), family + combiningE);
    EXPECT_EQ(graphemePrefix(mixed, 99), mixed);
    EXPECT_EQ(graphemeSuffix(mixed, 99), mixed);
    EXPECT_EQ(graphemeSlice(mixed, 3, 99), QStringLiteral("中"));
    EXPECT_EQ(graphemeSlice(mixed, 9, 1), QString());
    EXPECT_EQ(graphemePrefix(mixed, 0), QString());
    EXPECT_EQ(graphemePrefix(mixed, -3), QString());
}

// ICU's own segmentation, without textkit's shortcut for text whose every
// unit stands alone.
std::vector<qsizetype> icuBoundaries(QStringView text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::UnicodeString source(false, reinterpret_cast<const UChar *>(text.utf16()),
                                    static_cast<int32_t>(text.size()));
    iterator->setText(source);
    std::vector<qsizetype> boundaries;
    for (int32_t at = iterator->first(); at != icu::BreakIterator::DONE; at = iterator->next())
        boundaries.push_back(at);
    return boundaries;
}

TEST(TextKitGraphemes, TheShortcutForSimpleTextAgreesWithFullSegmentation) {
    // Every code unit outside the surrogates, doubled between neighbours
    // that could join it: a unit that extends, prepends or pairs would show.
    for (char32_t unit = 1; unit <= 0xFFFF; ++unit) {
        if (QChar::isSurrogate(unit))
            continue;
        const QChar c(static_cast<char16_t>(unit));
        const QString text = QString(u'a') + c + c + u'中' + c;
        ASSERT_EQ(graphemeBoundaries(text), icuBoundaries(text)) << std::hex << unsigned(unit);
    }
    for (const QString &text :
         {QStringLiteral("会议纪要：Q3 预算（草案）"), QStringLiteral("👍🏽好的"),
          QStringLiteral("e\u0301 café"), QStringLiteral("第一行\r\n第二行"),
          QStringLiteral("声调\u302A符号"), QStringLiteral("ｶﾞｷﾞ"), QStringLiteral("🇨🇳中国")}) {
        EXPECT_EQ(graphemeBoundaries(text), icuBoundaries(text)) << text.toStdString();
        EXPECT_EQ(graphemeCount(text), qsizetype(icuBoundaries(text).size()) - 1);
    }
}

TEST(TextKitGraphemes, TruncationNeverCutsACharacterInHalf) {
    const QString text = family + family + family;
    EXPECT_EQ(truncated(text, 3, u"…"), text);
    EXPECT_EQ(truncated(text, 2, u"…"), family + family + QStringLiteral("…"));
    EXPECT_EQ(truncated(text, 0), QString());
    EXPECT_EQ(truncated(QStringLiteral("你好世界"), 2, u"..."), QStringLiteral("你好..."));
}

TEST(TextKitGraphemes, OffsetsInsideACharacterAreRefused) {
    const QString text = QStringLiteral("a") + thumbsWithSkinTone + QStringLiteral("b");
    // Boundaries: 0 | a | 1 | 👍🏽 | 5 | b | 6
    EXPECT_EQ(graphemeIndexForUtf16Offset(text, 0), 0);
    EXPECT_EQ(graphemeIndexForUtf16Offset(text, 1), 1);
    EXPECT_EQ(graphemeIndexForUtf16Offset(text, 5), 2);
    EXPECT_EQ(graphemeIndexForUtf16Offset(text, 6), 3);
    for (qsizetype inside : {2, 3, 4})
        EXPECT_FALSE(graphemeIndexForUtf16Offset(text, inside).has_value()) << inside;
    EXPECT_FALSE(graphemeIndexForUtf16Offset(text, 7).has_value());
    EXPECT_FALSE(graphemeIndexForUtf16Offset(text, -1).has_value());
    EXPECT_FALSE(isGraphemeBoundary(extensionB, 1)) << "between the halves of a surrogate pair";
    EXPECT_FALSE(isGraphemeBoundary(combiningE, 1)) << "before a combining mark";

    EXPECT_EQ(utf16OffsetForGraphemeIndex(text, 2), 5);
    EXPECT_EQ(utf16OffsetForGraphemeIndex(text, 3), 6);
    EXPECT_FALSE(utf16OffsetForGraphemeIndex(text, 4).has_value());
}

TEST(TextKitWhitespace, TrimsUnicodeWhiteSpaceIncludingIdeographicSpaceAndLineBreaks) {
    EXPECT_EQ(trimmed(u"\u3000 你好世界\t\r\n\u3000"), QStringLiteral("你好世界"));
    EXPECT_EQ(trimmed(u"\u00A0\u2028x y\u0085"), QStringLiteral("x y"));
    EXPECT_EQ(trimmed(u" \n\u3000 "), QString());
    // Not white space: zero-width space and BOM stay.
    EXPECT_EQ(trimmed(u"\u200Bx\uFEFF"), QStringLiteral("\u200Bx\uFEFF"));
    // A surrogate pair at either end is read whole, not as two halves.
    EXPECT_EQ(trimmed(QString(extensionB + u' ')), extensionB);
    EXPECT_TRUE(isBlank(u" \u3000\n"));
    EXPECT_FALSE(isBlank(u" 。"));
}

TEST(TextKitComparison, KeyFoldsCaseDiacriticsAndWidthButNotPunctuationOrKana) {
    EXPECT_EQ(comparisonKey(u"  Café "), QStringLiteral("cafe"));
    EXPECT_EQ(comparisonKey(u"ＣＡＦＥ"), QStringLiteral("cafe"));
    EXPECT_EQ(comparisonKey(u"ＡＢＣ\u3000ｄ"), QStringLiteral("abc d"));
    EXPECT_EQ(comparisonKey(u"Straße"), QStringLiteral("strasse"));
    EXPECT_EQ(comparisonKey(u"ÅNGSTRÖM"), comparisonKey(u"angstrom"));
    // Half-width katakana widen; voicing marks go with the diacritics.
    EXPECT_EQ(comparisonKey(u"ｶﾀｶﾅ"), QStringLiteral("カタカナ"));
    EXPECT_EQ(comparisonKey(u"ｶﾞ"), comparisonKey(u"ガ"));
    // Full-width punctuation has a <wide> mapping too, so it folds in keys...
    EXPECT_EQ(comparisonKey(u"你好！"), QStringLiteral("你好!"));
    // ...while Chinese ideographs and the ideographic full stop stay.
    EXPECT_EQ(comparisonKey(u"翻译成英文。"), QStringLiteral("翻译成英文。"));
    EXPECT_EQ(widthFolded(u"１２３"), QStringLiteral("123"));
    EXPECT_EQ(diacriticsFolded(u"naïve résumé"), QStringLiteral("naive resume"));
}

TEST(TextKitComparison, PlainAsciiAndIdeographKeysOnlyTrimAndLowerCase) {
    EXPECT_EQ(comparisonKey(u"Kovarindel"), QStringLiteral("kovarindel"));
    EXPECT_EQ(comparisonKey(u" \t GZV-4o \r\n"), QStringLiteral("gzv-4o"));
    EXPECT_EQ(comparisonKey(u"  K8s集群  "), QStringLiteral("k8s集群"));
    EXPECT_EQ(comparisonKey(u"MiXeD 大小写 Case"), QStringLiteral("mixed 大小写 case"));
    // Information separators are not white space; they stay.
    EXPECT_EQ(comparisonKey(u"\x1c ABC \x1f"), QStringLiteral("\x1c abc \x1f"));
    EXPECT_EQ(comparisonKey(u"   "), QString());
    // One unit outside the simple ranges sends the whole term through ICU.
    EXPECT_EQ(comparisonKey(u"GZV\u3000Café"), QStringLiteral("gzv cafe"));
    EXPECT_EQ(comparisonKey(u"丽江\uF9E9"), QStringLiteral("丽江\u91CC"));
}

TEST(TextKitComparison, LocalizedOrderComparesDigitsAsNumbers) {
    EXPECT_LT(localizedStandardCompare(u"第2条", u"第10条"), 0);
    EXPECT_LT(localizedStandardCompare(u"item 9", u"item 10"), 0);
    EXPECT_EQ(localizedStandardCompare(u"abc", u"abc"), 0);
    EXPECT_GT(localizedStandardCompare(u"b", u"a"), 0);
    // Letters before case, whatever the process locale (C included).
    EXPECT_LT(localizedStandardCompare(u"apple", u"Banana"), 0);
}

TEST(TextKitProperties, AnswerFromUnicodeData) {
    EXPECT_TRUE(isAlphabetic(U'中'));
    EXPECT_TRUE(isAlphabetic(U'é'));
    EXPECT_TRUE(isAlphabetic(U'〇')); // Nl, alphabetic
    EXPECT_FALSE(isAlphabetic(U'1'));
    EXPECT_EQ(numericType(U'一'), NumericType::Numeric);
    EXPECT_EQ(numericType(U'三'), NumericType::Numeric);
    EXPECT_EQ(numericType(U'７'), NumericType::Decimal); // full-width digit
    EXPECT_EQ(numericType(U'²'), NumericType::Digit);
    EXPECT_EQ(numericType(U'a'), NumericType::None);
    EXPECT_TRUE(isDecimalDigit(U'٣'));
    EXPECT_FALSE(isDecimalDigit(U'一'));
    EXPECT_TRUE(isUppercase(U'Ä'));
    EXPECT_FALSE(isUppercase(U'中'));
    EXPECT_TRUE(isPunctuation(U'，'));
    EXPECT_TRUE(isPunctuation(U'、'));
    EXPECT_TRUE(isSymbol(U'+'));
    EXPECT_TRUE(isSymbol(U'😀'));
    EXPECT_FALSE(isPunctuation(U'a'));
    EXPECT_EQ(codePoints(QString(extensionB + u'a')), (std::vector<char32_t>{0x20000, U'a'}));
}

TEST(TextKitEncoding, StrictUtf8RefusesEveryMalformedForm) {
    EXPECT_EQ(decodeUtf8Strict("\xe4\xbd\xa0\xe5\xa5\xbd"), QStringLiteral("你好"));
    EXPECT_EQ(decodeUtf8Strict("\xf0\x9f\x98\x80"), QStringLiteral("😀"));
    EXPECT_EQ(decodeUtf8Strict(""), QString());
    EXPECT_FALSE(decodeUtf8Strict("\xc0\xaf").has_value()) << "overlong slash";
    EXPECT_FALSE(decodeUtf8Strict("\xed\xa0\x80").has_value()) << "encoded surrogate";
    EXPECT_FALSE(decodeUtf8Strict("\xf4\x90\x80\x80").has_value()) << "past U+10FFFF";
    EXPECT_FALSE(decodeUtf8Strict("\xe4\xbd").has_value()) << "truncated";
    EXPECT_FALSE(decodeUtf8Strict("\xff").has_value());
    EXPECT_FALSE(decodeUtf8Strict(QByteArrayView("a\x80z", 3)).has_value());
}

TEST(TextKitRegex, FindsCountsAndReplacesOnUnicodeText) {
    const Regex digits(u"\\d+");
    EXPECT_EQ(digits.countMatches(u"第1条和第２２条"), 2) << "full-width digits are \\d";
    EXPECT_EQ(digits.replaceAll(u"a1b22", u"<$0>"), QStringLiteral("a<1>b<22>"));

    const Regex group(u"(\\w+)@(\\w+)");
    const auto match = group.firstMatch(u"to: 张三@例子 ok");
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->captured(u"to: 张三@例子 ok", 1), QStringLiteral("张三"));
    EXPECT_EQ(group.replaceAll(u"张三@例子", u"$2/$1"), QStringLiteral("例子/张三"));

    // Literal replacement keeps "$1" and backslashes as written.
    const Regex word(u"cat", Regex::CaseInsensitive);
    EXPECT_EQ(word.replaceAllLiteral(u"Cat and CAT", u"$1\\dog"),
              QStringLiteral("$1\\dog and $1\\dog"));
    EXPECT_TRUE(Regex(u"^你好$", Regex::AnchorsMatchLines).matchesIn(u"x\n你好\ny"));
    EXPECT_TRUE(Regex(u"a.b", Regex::DotMatchesLineSeparators).matchesEntirely(u"a\nb"));
    EXPECT_EQ(Regex(Regex::escapedPattern(u"a.b*\\E")).countMatches(u"a.b*\\E axb"), 1);

    EXPECT_THROW(Regex(u"(unclosed"), RegexError);
    EXPECT_THROW(Regex(u"[z-a]"), RegexError);
}

} // namespace
} // namespace tovalit::textkit
