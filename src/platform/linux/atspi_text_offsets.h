#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

// Offsets of the accessibility bus are counted in code points by most
// toolkits; the rest of the application counts UTF-16 code units.
namespace tovalit::atspi {

// The UTF-16 offset where code point `codePoint` starts (text.size() for
// the one past the last); nothing when the text has fewer code points.
std::optional<qsizetype> utf16OffsetOfCodePoint(QStringView text, qsizetype codePoint);

// The code point index at a UTF-16 offset; nothing when the offset falls
// between the halves of a surrogate pair or lies outside the text.
std::optional<qsizetype> codePointOffsetOfUtf16(QStringView text, qsizetype utf16Offset);

// Firefox follows each character beyond the Basic Multilingual Plane with a
// U+FEFF of its own, so that its offsets, counted in code points on the
// bus, are the UTF-16 offsets of the user's text. This is that text: one
// U+FEFF after each such character taken out, any other U+FEFF kept (the
// user may have typed one, even right after such a character). A read
// that starts inside such a character, at its padding, keeps that U+FEFF:
// nothing before it tells it from one of the user's.
QString withoutSupplementaryPadding(QStringView text);

// Chromium gives a text's caret in code points, but its selection as if
// the UTF-16 offsets had been turned into code points twice: past a
// character beyond the Basic Multilingual Plane, its ends come early. An
// end it cannot turn so (the first turn lands between the halves of a
// surrogate pair) makes it report the selection as empty at the start.
// The selection [start, end) in code points that `reported` stands for in
// `text` (the element's whole text), given the caret where the element
// says; nothing where it cannot be told: an empty report, an end past the
// text, or a caret at neither end.
std::optional<std::pair<qsizetype, qsizetype>>
selectionConvertedOnce(QStringView text, std::pair<qsizetype, qsizetype> reported,
                       std::optional<qsizetype> caret);

} // namespace tovalit::atspi
