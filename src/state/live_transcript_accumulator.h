#pragma once

#include <QString>
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
    void reset() { m_committedPrefix.clear(); }
    // The session's final text: the committed text joined with the
    // recogniser's final text, or, when that gives nothing, `fallback`.
    QString resolvedFinalTranscript(QStringView sessionTranscript, QStringView fallback) const;

private:
    // Joins `prefix` and `continuation` by their longest overlap (compared
    // by character, canonically), else on a new line.
    static QString mergedTranscript(QStringView prefix, QStringView continuation);

    QString m_committedPrefix;
};

} // namespace tovalit
