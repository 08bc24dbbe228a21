#include "support/textkit.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <numeric>
#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

namespace tovalit::textkit {

namespace {

icu::UnicodeString alias(QStringView text) {
    // Read-only alias: no copy of the text.
    return icu::UnicodeString(false, reinterpret_cast<const UChar *>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

QString toQString(const icu::UnicodeString &text) {
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

icu::BreakIterator &graphemeIterator() {
    // Creating a break iterator loads rules; one per thread is reused.
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !created)
            qFatal("ICU grapheme break iterator unavailable: %s", u_errorName(status));
        return created;
    }();
    return *iterator;
}

const icu::Normalizer2 &normalizer(UNormalization2Mode mode, const char *name) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *instance = icu::Normalizer2::getInstance(nullptr, name, mode, status);
    if (U_FAILURE(status) || !instance)
        qFatal("ICU normalizer %s unavailable: %s", name, u_errorName(status));
    return *instance;
}

const icu::Normalizer2 &nfcNormalizer() {
    static const icu::Normalizer2 &instance = normalizer(UNORM2_COMPOSE, "nfc");
    return instance;
}

const icu::Normalizer2 &nfdNormalizer() {
    static const icu::Normalizer2 &instance = normalizer(UNORM2_DECOMPOSE, "nfc");
    return instance;
}

const icu::Normalizer2 &nfkdNormalizer() {
    static const icu::Normalizer2 &instance = normalizer(UNORM2_DECOMPOSE, "nfkc");
    return instance;
}

QString normalized(const icu::Normalizer2 &with, QStringView text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString result = with.normalize(alias(text), status);
    return U_FAILURE(status) ? text.toString() : toQString(result);
}

void appendCodePoint(QString &text, char32_t codePoint) {
    if (QChar::requiresSurrogates(codePoint)) {
        text.append(QChar(QChar::highSurrogate(codePoint)));
        text.append(QChar(QChar::lowSurrogate(codePoint)));
    } else {
        text.append(QChar(static_cast<char16_t>(codePoint)));
    }
}

template <typename Keep>
QString filterCodePoints(QStringView text, Keep keep) {
    QString result;
    result.reserve(text.size());
    for (char32_t codePoint : codePoints(text)) {
        if (keep(codePoint))
            appendCodePoint(result, codePoint);
    }
    return result;
}

// A unit whose grapheme break class is Other, outside the surrogates,
// breaks from both neighbours under every segmentation rule (nothing
// extends it, it joins nothing, it pairs with nothing). Printable ASCII and
// the CJK ideographs, the bulk of what this application handles, are
// checked first without a table lookup.
bool standsAlone(char16_t unit) {
    if ((unit >= 0x20 && unit < 0x7F) || (unit >= 0x4E00 && unit <= 0x9FFF))
        return true;
    return !QChar::isSurrogate(unit) &&
           u_getIntPropertyValue(unit, UCHAR_GRAPHEME_CLUSTER_BREAK) == U_GCB_OTHER;
}

// True when every UTF-16 unit is a character of its own, so segmentation
// can be skipped: the results are the same.
bool everyUnitIsACharacter(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return standsAlone(c.unicode()); });
}

// Printable ASCII and CJK ideographs have no width, diacritic or
// normalisation variants; only ASCII letters fold (to lower case).
std::optional<QString> simpleComparisonKey(QStringView text) {
    const auto isAsciiSpace = [](char16_t c) { return c == 0x20 || (c >= 0x09 && c <= 0x0D); };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isAsciiSpace(text[begin].unicode()))
        ++begin;
    while (end > begin && isAsciiSpace(text[end - 1].unicode()))
        --end;
    QString key(end - begin, Qt::Uninitialized);
    QChar *out = key.data();
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80 && (c < 0x4E00 || c > 0x9FFF))
            return std::nullopt;
        *out++ = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
    }
    return key;
}

} // namespace

std::vector<qsizetype> graphemeBoundaries(QStringView text) {
    std::vector<qsizetype> boundaries;
    if (everyUnitIsACharacter(text)) {
        boundaries.resize(static_cast<size_t>(text.size()) + 1);
        std::iota(boundaries.begin(), boundaries.end(), qsizetype(0));
        return boundaries;
    }
    boundaries.reserve(static_cast<size_t>(text.size()) + 1);
    icu::BreakIterator &iterator = graphemeIterator();
    const icu::UnicodeString source = alias(text);
    iterator.setText(source);
    for (int32_t position = iterator.first(); position != icu::BreakIterator::DONE;
         position = iterator.next()) {
        boundaries.push_back(position);
    }
    // Do not leave the iterator pointing at text that is about to go away.
    iterator.setText(icu::UnicodeString());
    return boundaries;
}

qsizetype graphemeCount(QStringView text) {
    if (everyUnitIsACharacter(text))
        return text.size();
    return static_cast<qsizetype>(graphemeBoundaries(text).size()) - 1;
}

QString graphemePrefix(QStringView text, qsizetype count) {
    if (count <= 0)
        return {};
    const auto boundaries = graphemeBoundaries(text);
    const auto last = static_cast<qsizetype>(boundaries.size()) - 1;
    return text.first(boundaries[static_cast<size_t>(std::min(count, last))]).toString();
}

QString graphemeSuffix(QStringView text, qsizetype count) {
    if (count <= 0)
        return {};
    const auto boundaries = graphemeBoundaries(text);
    const auto last = static_cast<qsizetype>(boundaries.size()) - 1;
    const qsizetype start = boundaries[static_cast<size_t>(last - std::min(count, last))];
    return text.sliced(start).toString();
}

QString graphemeSlice(QStringView text, qsizetype start, qsizetype count) {
    const auto boundaries = graphemeBoundaries(text);
    const auto last = static_cast<qsizetype>(boundaries.size()) - 1;
    const qsizetype from = std::clamp<qsizetype>(start, 0, last);
    const qsizetype to =
        count <= 0 ? from : std::clamp<qsizetype>(from + std::min(count, last), from, last);
    const qsizetype begin = boundaries[static_cast<size_t>(from)];
    return text.sliced(begin, boundaries[static_cast<size_t>(to)] - begin).toString();
}

QString truncated(QStringView text, qsizetype limit, QStringView ellipsis) {
    const auto boundaries = graphemeBoundaries(text);
    const auto count = static_cast<qsizetype>(boundaries.size()) - 1;
    if (count <= limit)
        return text.toString();
    const qsizetype end = boundaries[static_cast<size_t>(std::max<qsizetype>(limit, 0))];
    return text.first(end).toString() + ellipsis;
}

std::optional<qsizetype> graphemeIndexForUtf16Offset(QStringView text, qsizetype utf16Offset) {
    const auto boundaries = graphemeBoundaries(text);
    const auto found = std::lower_bound(boundaries.begin(), boundaries.end(), utf16Offset);
    if (found == boundaries.end() || *found != utf16Offset)
        return std::nullopt;
    return static_cast<qsizetype>(found - boundaries.begin());
}

std::optional<qsizetype> utf16OffsetForGraphemeIndex(QStringView text, qsizetype index) {
    const auto boundaries = graphemeBoundaries(text);
    if (index < 0 || index >= static_cast<qsizetype>(boundaries.size()))
        return std::nullopt;
    return boundaries[static_cast<size_t>(index)];
}

bool isGraphemeBoundary(QStringView text, qsizetype utf16Offset) {
    return graphemeIndexForUtf16Offset(text, utf16Offset).has_value();
}

bool isWhitespace(char32_t codePoint) {
    return u_isUWhiteSpace(static_cast<UChar32>(codePoint));
}

bool isNewline(char32_t codePoint) {
    switch (codePoint) {
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

QString trimmed(QStringView text) {
    const auto *units = reinterpret_cast<const UChar *>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 codePoint;
        U16_NEXT(units, next, length, codePoint);
        if (!u_isUWhiteSpace(codePoint))
            break;
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t previous = end;
        UChar32 codePoint;
        U16_PREV(units, begin, previous, codePoint);
        if (!u_isUWhiteSpace(codePoint))
            break;
        end = previous;
    }
    return text.sliced(begin, end - begin).toString();
}

QString trimmed(const QString &text) {
    // White space lies in the Basic Multilingual Plane, so one unit at each
    // end tells; text with nothing to trim is handed back shared.
    if (!text.isEmpty() && !u_isUWhiteSpace(text.front().unicode()) &&
        !u_isUWhiteSpace(text.back().unicode())) {
        return text;
    }
    return trimmed(QStringView(text));
}

bool isBlank(QStringView text) {
    const auto points = codePoints(text);
    return std::all_of(points.begin(), points.end(), [](char32_t c) { return isWhitespace(c); });
}

QString widthFolded(QStringView text) {
    QString result;
    result.reserve(text.size());
    const icu::Normalizer2 &decompose = nfkdNormalizer();
    for (char32_t codePoint : codePoints(text)) {
        const auto type =
            u_getIntPropertyValue(static_cast<UChar32>(codePoint), UCHAR_DECOMPOSITION_TYPE);
        icu::UnicodeString mapping;
        if ((type == U_DT_WIDE || type == U_DT_NARROW) &&
            decompose.getDecomposition(static_cast<UChar32>(codePoint), mapping)) {
            result += toQString(mapping);
        } else {
            appendCodePoint(result, codePoint);
        }
    }
    return result;
}

QString nfc(QStringView text) {
    return normalized(nfcNormalizer(), text);
}

QString nfd(QStringView text) {
    return normalized(nfdNormalizer(), text);
}

QString diacriticsFolded(QStringView text) {
    return nfc(filterCodePoints(nfd(text), [](char32_t c) { return !isNonSpacingMark(c); }));
}

QString caseFolded(QStringView text) {
    icu::UnicodeString folded(alias(text));
    folded.foldCase(U_FOLD_CASE_DEFAULT);
    return toQString(folded);
}

QString comparisonKey(QStringView text) {
    if (auto key = simpleComparisonKey(text))
        return *key;
    const QString stripped = filterCodePoints(nfd(widthFolded(trimmed(text))),
                                              [](char32_t c) { return !isNonSpacingMark(c); });
    icu::UnicodeString key = alias(stripped);
    key.foldCase(U_FOLD_CASE_DEFAULT);
    key.toLower(icu::Locale::getRoot());
    return nfc(toQString(key));
}

int localizedStandardCompare(QStringView a, QStringView b) {
    thread_local std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        // The C locale maps to ICU's POSIX collation, which sorts by code
        // point ("Zoo" before "apple"); the root order is what people expect.
        icu::Locale locale = icu::Locale::getDefault();
        if (qstrcmp(locale.getName(), "en_US_POSIX") == 0)
            locale = icu::Locale::getRoot();
        std::unique_ptr<icu::Collator> created(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status) || !created)
            return std::unique_ptr<icu::Collator>();
        created->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        return created;
    }();
    if (!collator) {
        const int order = a.compare(b);
        return order < 0 ? -1 : (order == 0 ? 0 : 1);
    }
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result = collator->compare(
        reinterpret_cast<const UChar *>(a.utf16()), static_cast<int32_t>(a.size()),
        reinterpret_cast<const UChar *>(b.utf16()), static_cast<int32_t>(b.size()), status);
    return result == UCOL_LESS ? -1 : (result == UCOL_EQUAL ? 0 : 1);
}

bool isAlphabetic(char32_t codePoint) {
    return u_hasBinaryProperty(static_cast<UChar32>(codePoint), UCHAR_ALPHABETIC);
}

NumericType numericType(char32_t codePoint) {
    switch (u_getIntPropertyValue(static_cast<UChar32>(codePoint), UCHAR_NUMERIC_TYPE)) {
    case U_NT_DECIMAL:
        return NumericType::Decimal;
    case U_NT_DIGIT:
        return NumericType::Digit;
    case U_NT_NUMERIC:
        return NumericType::Numeric;
    default:
        return NumericType::None;
    }
}

bool isDecimalDigit(char32_t codePoint) {
    return u_charType(static_cast<UChar32>(codePoint)) == U_DECIMAL_DIGIT_NUMBER;
}

bool isUppercase(char32_t codePoint) {
    return u_hasBinaryProperty(static_cast<UChar32>(codePoint), UCHAR_UPPERCASE);
}

bool isLowercase(char32_t codePoint) {
    return u_hasBinaryProperty(static_cast<UChar32>(codePoint), UCHAR_LOWERCASE);
}

bool isPunctuation(char32_t codePoint) {
    return (U_GET_GC_MASK(static_cast<UChar32>(codePoint)) & U_GC_P_MASK) != 0;
}

bool isSymbol(char32_t codePoint) {
    return (U_GET_GC_MASK(static_cast<UChar32>(codePoint)) & U_GC_S_MASK) != 0;
}

bool isLetterOrNumber(char32_t codePoint) {
    return (U_GET_GC_MASK(static_cast<UChar32>(codePoint)) & (U_GC_L_MASK | U_GC_N_MASK)) != 0;
}

bool isNonSpacingMark(char32_t codePoint) {
    return u_charType(static_cast<UChar32>(codePoint)) == U_NON_SPACING_MARK;
}

std::vector<char32_t> codePoints(QStringView text) {
    std::vector<char32_t> result;
    result.reserve(static_cast<size_t>(text.size()));
    const auto *units = reinterpret_cast<const UChar *>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 codePoint;
        U16_NEXT(units, i, length, codePoint);
        result.push_back(static_cast<char32_t>(codePoint));
    }
    return result;
}

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

std::optional<QString> decodeUtf8Strict(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return QString();
    if (bytes.size() > std::numeric_limits<int32_t>::max() / 2)
        return std::nullopt;
    QString result(bytes.size(), Qt::Uninitialized);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    // u_strFromUTF8 refuses overlong forms, surrogates, values past U+10FFFF
    // and truncated sequences with U_INVALID_CHAR_FOUND.
    u_strFromUTF8(reinterpret_cast<UChar *>(result.data()), static_cast<int32_t>(result.size()),
                  &length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    result.truncate(length);
    return result;
}

QString withPairedSurrogates(QString text) {
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < size &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            text[i] = QChar::ReplacementCharacter;
        }
    }
    return text;
}

} // namespace tovalit::textkit
