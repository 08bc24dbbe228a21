#include "services/meeting/meeting_characters.h"

#include "support/textkit.h"

#include <algorithm>
#include <numeric>

namespace tovalit::MeetingCharacters {

namespace {

bool standsAlone(char16_t unit) {
    return (unit >= 0x0020 && unit <= 0x007E)     // printable ASCII
           || (unit >= 0x3000 && unit <= 0x3029)  // CJK punctuation, before the tone marks
           || (unit >= 0x3030 && unit <= 0x303F)  // the rest of CJK punctuation
           || (unit >= 0x4E00 && unit <= 0x9FFF)  // CJK unified ideographs
           || (unit >= 0xFF01 && unit <= 0xFF5E); // full-width ASCII forms
}

} // namespace

bool isOneUnitPerCharacter(QStringView text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar unit) { return standsAlone(unit.unicode()); });
}

std::vector<qsizetype> boundaries(QStringView text) {
    if (!isOneUnitPerCharacter(text))
        return textkit::graphemeBoundaries(text);
    std::vector<qsizetype> offsets(static_cast<size_t>(text.size()) + 1);
    std::iota(offsets.begin(), offsets.end(), qsizetype(0));
    return offsets;
}

qsizetype count(QStringView text) {
    return isOneUnitPerCharacter(text) ? text.size() : textkit::graphemeCount(text);
}

QString truncated(const QString &text, qsizetype limit, QStringView ellipsis) {
    // No character is shorter than one unit, so a short text needs no count.
    if (text.size() <= limit)
        return text;
    if (isOneUnitPerCharacter(text))
        return text.first(std::max<qsizetype>(limit, 0)) + ellipsis;
    return textkit::truncated(text, limit, ellipsis);
}

QString prefix(const QString &text, qsizetype limit) {
    if (limit <= 0)
        return {};
    if (text.size() <= limit)
        return text;
    if (isOneUnitPerCharacter(text))
        return text.first(limit);
    return textkit::graphemePrefix(text, limit);
}

QStringList trimmedPieces(QStringView text, bool (*isSeparator)(QChar unit)) {
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype end = 0; end <= text.size(); ++end) {
        if (end < text.size() && !isSeparator(text[end]))
            continue;
        QString piece = textkit::trimmed(text.sliced(start, end - start));
        if (!piece.isEmpty())
            pieces.append(std::move(piece));
        start = end + 1;
    }
    return pieces;
}

QString trimmed(const QString &text) {
    // White space lies in the Basic Multilingual Plane, so one unit at each
    // end tells.
    if (!text.isEmpty() && !textkit::isWhitespace(text.front().unicode()) &&
        !textkit::isWhitespace(text.back().unicode())) {
        return text;
    }
    return textkit::trimmed(text);
}

} // namespace tovalit::MeetingCharacters
