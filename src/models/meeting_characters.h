#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// Character (grapheme cluster) measures for the meeting tree, which counts,
// cuts and compares characters of short texts many times per summary tick;
// textkit's rules, with the shortcuts that keep short texts cheap.
namespace tovalit::MeetingCharacters {

// The first `limit` characters followed by `ellipsis` when the text is
// longer, else the text.
QString truncated(const QString &text, qsizetype limit, QStringView ellipsis);
QString prefix(const QString &text, qsizetype limit);

// The pieces between the units for which `isSeparator` holds, trimmed, empty
// pieces dropped.
QStringList trimmedPieces(QStringView text, bool (*isSeparator)(QChar unit));

// textkit::trimmed, sharing the string when there is nothing to trim (the
// usual case for text already shaped once).
QString trimmed(const QString &text);

} // namespace tovalit::MeetingCharacters
