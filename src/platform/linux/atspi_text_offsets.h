#pragma once

#include <QStringView>

#include <optional>

// Offsets of the accessibility bus are counted in code points by most
// toolkits; the rest of the application counts UTF-16 code units.
namespace tovalit::atspi {

// The UTF-16 offset where code point `codePoint` starts (text.size() for
// the one past the last); nothing when the text has fewer code points.
std::optional<qsizetype> utf16OffsetOfCodePoint(QStringView text, qsizetype codePoint);

// The code point index at a UTF-16 offset; nothing when the offset falls
// between the halves of a surrogate pair or lies outside the text.
std::optional<qsizetype> codePointOffsetOfUtf16(QStringView text, qsizetype utf16Offset);

} // namespace tovalit::atspi
