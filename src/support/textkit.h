#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

// Every text rule of the application goes through here. "Characters" are
// extended grapheme clusters (what a user sees as one character); offsets
// are UTF-16 code units, as QString counts them. Everything rests on ICU.
namespace tovalit::textkit {

// --- Grapheme clusters ------------------------------------------------------

// UTF-16 offsets of every grapheme boundary, from 0 to text.size() inclusive.
std::vector<qsizetype> graphemeBoundaries(QStringView text);
qsizetype graphemeCount(QStringView text);
// The first / last `count` characters (all of them when there are fewer).
QString graphemePrefix(QStringView text, qsizetype count);
QString graphemeSuffix(QStringView text, qsizetype count);
// Characters [start, start + count), clamped to the text.
QString graphemeSlice(QStringView text, qsizetype start, qsizetype count);
// The text when it has at most `limit` characters; otherwise its first
// `limit` characters followed by `ellipsis`.
QString truncated(QStringView text, qsizetype limit, QStringView ellipsis = {});

// The character index of a UTF-16 offset, or nothing when the offset lies
// inside a character (between the halves of a surrogate pair, before a
// combining mark, inside an emoji sequence) or outside the text.
std::optional<qsizetype> graphemeIndexForUtf16Offset(QStringView text, qsizetype utf16Offset);
// The UTF-16 offset where character `index` starts (text.size() for the
// index one past the last), or nothing when out of range.
std::optional<qsizetype> utf16OffsetForGraphemeIndex(QStringView text, qsizetype index);
bool isGraphemeBoundary(QStringView text, qsizetype utf16Offset);

// --- White space ------------------------------------------------------------

// Unicode White_Space, which takes in line breaks, U+0085 and U+3000.
bool isWhitespace(char32_t codePoint);
bool isNewline(char32_t codePoint);
// Trims white space and line breaks from both ends.
QString trimmed(QStringView text);
// As above; hands back the same (shared) string when there is nothing to
// trim.
QString trimmed(const QString &text);
bool isBlank(QStringView text);

// --- Comparison ---------------------------------------------------------------

// The key under which spoken or typed phrases compare equal: trimmed, width
// folded (full-width Latin and U+3000 to their narrow forms, half-width
// katakana to full width), diacritics removed, case folded, NFC.
QString comparisonKey(QStringView text);
// Folds width only, for keys; never applied to text that is inserted.
QString widthFolded(QStringView text);
// Removes non-spacing marks after canonical decomposition; returns NFC.
QString diacriticsFolded(QStringView text);
QString caseFolded(QStringView text);
QString nfc(QStringView text);
QString nfd(QStringView text);

// Order as people expect in lists: the current locale's collation, digits
// compared as numbers ("第2" before "第10"). Negative, zero or positive.
int localizedStandardCompare(QStringView a, QStringView b);

// --- Unicode properties (code points) --------------------------------------

bool isAlphabetic(char32_t codePoint);
enum class NumericType { None, Decimal, Digit, Numeric };
NumericType numericType(char32_t codePoint);
bool isDecimalDigit(char32_t codePoint);
bool isUppercase(char32_t codePoint);
bool isLowercase(char32_t codePoint);
// General categories P* and S*.
bool isPunctuation(char32_t codePoint);
bool isSymbol(char32_t codePoint);
// Letters L* and numbers N*.
bool isLetterOrNumber(char32_t codePoint);
bool isNonSpacingMark(char32_t codePoint);
// Code points of a text, without splitting surrogate pairs (an unpaired
// surrogate comes out as itself).
std::vector<char32_t> codePoints(QStringView text);
bool isAscii(QStringView text);

// --- Encodings ----------------------------------------------------------------

// The text when `bytes` is well-formed UTF-8 (no overlong forms, no
// surrogates, nothing past U+10FFFF, no truncated sequence), else nothing.
std::optional<QString> decodeUtf8Strict(QByteArrayView bytes);

// `text` with U+FFFD for every surrogate without its partner (escapes in
// JSON and INI text can make them); a pair stays.
QString withPairedSurrogates(QString text);

} // namespace tovalit::textkit
