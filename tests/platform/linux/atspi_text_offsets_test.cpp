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

} // namespace
} // namespace tovalit
