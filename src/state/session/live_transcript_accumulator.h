#pragma once

#include "support/grapheme_index.h"

#include <QString>
#include <QStringList>
#include <QStringView>

namespace tovalit {

// One live transcript across recogniser restarts. A rebuilt recogniser
// starts again from empty text, so its partial texts are joined onto what
// was committed before the break, without the stretch that the replayed
// audio recognised a second time.
class LiveTranscriptAccumulator {
public:
    // The overlap searched for when joining, in characters.
    static constexpr qsizetype overlapWindow = 120;

    // Trimmed of white space and line breaks.
    static QString normalized(QStringView text);

    const QString &committedPrefix() const { return m_committedPrefix; }

    // The committed text joined with the current recogniser's partial text.
    QString renderedPartial(QStringView partial) const;
    // Commits `transcript` (trimmed) as the text before the next restart.
    void sealCurrentTranscript(QStringView transcript);
    void reset();
    // The session's final text: the committed text joined with the
    // recogniser's final text, or, when that gives nothing, `fallback`.
    QString resolvedFinalTranscript(QStringView sessionTranscript, QStringView fallback) const;

private:
    // Joins the committed text and `continuation` by their longest overlap
    // (compared by character, canonically), else on a new line.
    QString mergedTranscript(QStringView continuation) const;

    QString m_committedPrefix;
    // The committed text by character, and its last characters (at most
    // the overlap window) composed, as the overlap compares them.
    GraphemeIndex m_prefix;
    QStringList m_prefixTail;
    // The continuation the last partial result brought, by character, and
    // its first characters composed. A stream resends its whole text with
    // every partial result; only its changed end is read again.
    mutable GraphemeIndex m_continuation;
    mutable QStringList m_continuationHead;
};

} // namespace tovalit
