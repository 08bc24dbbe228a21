#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// Character (grapheme cluster) measures for the meeting tree, which counts,
// cuts and compares characters of short texts many times per summary tick.
// Meeting text is mostly Chinese and ASCII, where every UTF-16 unit is a
// character of its own; such text is measured directly and everything else
// goes through the full segmentation of textkit. The results are the same.
namespace tovalit::MeetingCharacters {

// True when every UTF-16 unit of the text is a character by itself: printable
// ASCII, CJK punctuation, CJK unified ideographs and full-width ASCII forms,
// all of which neither extend nor join with a neighbour.
bool isOneUnitPerCharacter(QStringView text);

// UTF-16 offsets of every character boundary, 0 to text.size() inclusive.
std::vector<qsizetype> boundaries(QStringView text);
qsizetype count(QStringView text);
// The first `limit` characters followed by `ellipsis` when the text is
// longer, else the text.
QString truncated(const QString &text, qsizetype limit, QStringView ellipsis);
QString prefix(const QString &text, qsizetype limit);

// The pieces between the units for which `isSeparator` holds, trimmed, empty
// pieces dropped.
QStringList trimmedPieces(QStringView text, bool (*isSeparator)(QChar unit));

// textkit::trimmed that hands back the same (shared) string when there is
// nothing to trim, which is the usual case for text already shaped once.
QString trimmed(const QString &text);

} // namespace tovalit::MeetingCharacters
