#include "models/meeting_characters.h"

#include "support/textkit.h"

#include <algorithm>
#include <numeric>

namespace tovalit::MeetingCharacters {

QString truncated(const QString &text, qsizetype limit, QStringView ellipsis) {
    // No character is shorter than one unit, so a short text needs no count.
    if (text.size() <= limit)
        return text;
    return textkit::truncated(text, limit, ellipsis);
}

QString prefix(const QString &text, qsizetype limit) {
    if (limit <= 0)
        return {};
    if (text.size() <= limit)
        return text;
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
    return textkit::trimmed(text);
}

} // namespace tovalit::MeetingCharacters
