#pragma once

#include "models/personal_lexicon_entry.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace tovalit {

struct LocalReplacementResult {
    // The text after every replacement; the input itself when nothing
    // changed.
    QString text;
    // The entries whose replacement changed the text, in the order they
    // were applied, each unchanged.
    QList<PersonalLexiconEntry> appliedEntries;
};

// Rewrites recognised text on the device with the user's replacements, in
// the compiler's order (longest source first). Each entry runs once, on the
// output of those before it. Targets are always inserted as written.
namespace LocalReplacementEngine {

// `entries` is the whole lexicon; only compiled replacements take part.
LocalReplacementResult apply(const QString &text, const QList<PersonalLexiconEntry> &entries);

// No white space, only A-Z, a-z and 0-9.
bool looksLikeASCIIWord(QStringView source);
// Case-insensitive matches of `source` not touching an ASCII letter or
// digit on either side, replaced by `target` literally.
QString replacingWholeWordMatches(QStringView source, QStringView target, QStringView text);
// Every occurrence of `source`, found left to right without overlapping and
// matched without regard to case or diacritics (composed and decomposed
// forms alike; widths stay distinct), replaced by `target` literally.
// Matches always cover whole characters.
QString replacingFoldedMatches(QStringView source, QStringView target, QStringView text);

} // namespace LocalReplacementEngine

} // namespace tovalit
