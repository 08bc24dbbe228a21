#include "platform/linux/atspi_text_offsets.h"

#include <QString>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(AtspiTextOffsets, CodePointsAndUtf16UnitsConvertAroundSurrogatePairs) {
    const QString text = QStringLiteral("ab😀cd");
    EXPECT_EQ(atspi::utf16OffsetOfCodePoint(text, 0), 0);
    EXPECT_EQ(atspi::utf16OffsetOfCodePoint(text, 3), 4);
    EXPECT_EQ(atspi::utf16OffsetOfCodePoint(text, 5), 6);
    EXPECT_EQ(atspi::utf16OffsetOfCodePoint(text, 6), std::nullopt);
    EXPECT_EQ(atspi::utf16OffsetOfCodePoint(text, -1), std::nullopt);

    EXPECT_EQ(atspi::codePointOffsetOfUtf16(text, 2), 2);
    EXPECT_EQ(atspi::codePointOffsetOfUtf16(text, 3), std::nullopt) << "inside the emoji";
    EXPECT_EQ(atspi::codePointOffsetOfUtf16(text, 4), 3);
    EXPECT_EQ(atspi::codePointOffsetOfUtf16(text, 6), 5);
    EXPECT_EQ(atspi::codePointOffsetOfUtf16(text, 7), std::nullopt);
    // A lone high surrogate counts as one code point.
    const QString broken = QString(QChar(0xD83D)) + QStringLiteral("x");
    EXPECT_EQ(atspi::codePointOffsetOfUtf16(broken, 1), 1);
    EXPECT_EQ(atspi::utf16OffsetOfCodePoint(broken, 2), 2);
}

// Firefox's text as the bus gives it: one U+FEFF after each character
// beyond the Basic Multilingual Plane, so that its offsets count UTF-16 units.
TEST(AtspiTextOffsets, FirefoxsPaddingComesOutAndItsOffsetsAreUtf16OnesOfWhatRemains) {
    const QString user = QStringLiteral("收到👍🏽，𠀋字\uFEFFx😀\uFEFFy");
    const QString padded =
        QStringLiteral("收到👍\uFEFF🏽\uFEFF，𠀋\uFEFF字\uFEFFx😀\uFEFF\uFEFFy");
    EXPECT_EQ(atspi::withoutSupplementaryPadding(padded), user)
        << "the user's own U+FEFF stays, after a padded character too";
    // Firefox's character count and every offset it names: the padded text
    // up to an offset (in code points, as the bus counts) is the user's
    // text up to the same UTF-16 offset.
    const qsizetype codePoints = padded.toUcs4().size();
    EXPECT_EQ(codePoints, user.size());
    for (qsizetype offset = 0; offset <= codePoints; ++offset) {
        const QString read = padded.left(*atspi::utf16OffsetOfCodePoint(padded, offset));
        const QString depadded = atspi::withoutSupplementaryPadding(read);
        if (atspi::codePointOffsetOfUtf16(user, offset))
            EXPECT_EQ(depadded, user.left(offset)) << "offset " << offset;
        else // inside a pair: the read ends with the character, not its padding
            EXPECT_EQ(depadded, user.left(offset + 1)) << "offset " << offset;
    }

    // Only a whole surrogate pair is padded; a text without any stays as it is.
    const QString lone = QString(QChar(0xD83D)) + QChar(0xFEFF) + QStringLiteral("a\uFEFF");
    EXPECT_EQ(atspi::withoutSupplementaryPadding(lone), lone);
    EXPECT_EQ(atspi::withoutSupplementaryPadding(u"😀"), QStringLiteral("😀"));
}

} // namespace
} // namespace tovalit
