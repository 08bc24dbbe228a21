#include "platform/linux/atspi_text_offsets.h"

#include <QChar>

namespace tovalit::atspi {

std::optional<qsizetype> utf16OffsetOfCodePoint(QStringView text, qsizetype codePoint) {
    if (codePoint < 0)
        return std::nullopt;
    qsizetype offset = 0;
    for (qsizetype index = 0; index < codePoint; ++index) {
        if (offset >= text.size())
            return std::nullopt;
        const bool pair = QChar::isHighSurrogate(text[offset].unicode()) &&
                          offset + 1 < text.size() &&
                          QChar::isLowSurrogate(text[offset + 1].unicode());
        offset += pair ? 2 : 1;
    }
    return offset;
}

std::optional<qsizetype> codePointOffsetOfUtf16(QStringView text, qsizetype utf16Offset) {
    if (utf16Offset < 0 || utf16Offset > text.size())
        return std::nullopt;
    if (utf16Offset > 0 && utf16Offset < text.size() &&
        QChar::isHighSurrogate(text[utf16Offset - 1].unicode()) &&
        QChar::isLowSurrogate(text[utf16Offset].unicode()))
        return std::nullopt;
    qsizetype codePoints = 0;
    qsizetype offset = 0;
    while (offset < utf16Offset) {
        const bool pair = QChar::isHighSurrogate(text[offset].unicode()) &&
                          offset + 1 < text.size() &&
                          QChar::isLowSurrogate(text[offset + 1].unicode());
        offset += pair ? 2 : 1;
        ++codePoints;
    }
    return codePoints;
}

QString withoutSupplementaryPadding(QStringView text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype offset = 0; offset < text.size(); ++offset) {
        result.append(text[offset]);
        const bool pair = QChar::isHighSurrogate(text[offset].unicode()) &&
                          offset + 1 < text.size() &&
                          QChar::isLowSurrogate(text[offset + 1].unicode());
        if (!pair)
            continue;
        result.append(text[++offset]);
        if (offset + 1 < text.size() && text[offset + 1] == QChar(0xFEFF))
            ++offset;
    }
    return result;
}

std::optional<std::pair<qsizetype, qsizetype>>
selectionConvertedOnce(QStringView text, std::pair<qsizetype, qsizetype> reported,
                       std::optional<qsizetype> caret) {
    if (reported.first >= reported.second)
        return std::nullopt;
    // The second turn counted the code points of the first one's result
    // read as UTF-16 offsets: undone, that result is where the code point
    // of that number starts. Never the raw report, even where the caret
    // fits it: a backward selection over a family emoji can end at the
    // caret in both.
    const auto start = utf16OffsetOfCodePoint(text, reported.first);
    const auto end = utf16OffsetOfCodePoint(text, reported.second);
    const auto length = codePointOffsetOfUtf16(text, text.size());
    if (!start || !end || !length || *end > *length)
        return std::nullopt;
    if (caret && *caret != *start && *caret != *end)
        return std::nullopt;
    return std::pair{*start, *end};
}

} // namespace tovalit::atspi
