#include "state/live_transcript_accumulator.h"

#include "support/textkit.h"

#include <QStringList>

#include <algorithm>

namespace tovalit {

namespace {

// The last `limit` characters of a text (all when it has fewer), each in its
// composed form, so that canonically equivalent characters compare equal.
QStringList comparableCharacters(QStringView text, qsizetype limit) {
    const std::vector<qsizetype> boundaries = textkit::graphemeBoundaries(text);
    const size_t count = boundaries.size() - 1;
    const size_t first = count > size_t(limit) ? count - size_t(limit) : 0;
    QStringList characters;
    characters.reserve(static_cast<qsizetype>(count - first));
    for (size_t index = first + 1; index < boundaries.size(); ++index) {
        const QStringView character =
            text.mid(boundaries[index - 1], boundaries[index] - boundaries[index - 1]);
        characters << textkit::nfc(character);
    }
    return characters;
}

bool rangesEqual(const QStringList &a, qsizetype aStart, const QStringList &b, qsizetype bStart,
                 qsizetype count) {
    return std::equal(a.cbegin() + aStart, a.cbegin() + aStart + count, b.cbegin() + bStart);
}

} // namespace

QString LiveTranscriptAccumulator::normalized(QStringView text) {
    return textkit::trimmed(text);
}

QString LiveTranscriptAccumulator::mergedTranscript(QStringView prefix, QStringView continuation) {
    const QString p = normalized(prefix);
    const QString c = normalized(continuation);
    if (p.isEmpty())
        return c;
    if (c.isEmpty())
        return p;

    const QStringList continuationCharacters = comparableCharacters(c, c.size());
    const qsizetype continuationLength = continuationCharacters.size();
    // Only the end of the prefix takes part: as much as the continuation
    // could cover, and at least the overlap window.
    const QStringList prefixCharacters =
        comparableCharacters(p, std::max(continuationLength, overlapWindow));
    const qsizetype prefixLength = prefixCharacters.size();

    if (continuationLength <= prefixLength &&
        rangesEqual(prefixCharacters, prefixLength - continuationLength, continuationCharacters, 0,
                    continuationLength)) {
        return p;
    }

    const qsizetype window = std::min({prefixLength, continuationLength, overlapWindow});
    for (qsizetype k = window; k >= 1; --k) {
        if (rangesEqual(prefixCharacters, prefixLength - k, continuationCharacters, 0, k))
            return p + textkit::graphemeSuffix(c, continuationLength - k);
    }
    return p + QLatin1Char('\n') + c;
}

QString LiveTranscriptAccumulator::renderedPartial(QStringView partial) const {
    return mergedTranscript(m_committedPrefix, partial);
}

void LiveTranscriptAccumulator::sealCurrentTranscript(QStringView transcript) {
    m_committedPrefix = normalized(transcript);
}

QString LiveTranscriptAccumulator::resolvedFinalTranscript(QStringView sessionTranscript,
                                                           QStringView fallback) const {
    const QString merged = normalized(mergedTranscript(m_committedPrefix, sessionTranscript));
    if (!merged.isEmpty())
        return merged;
    return normalized(fallback);
}

} // namespace tovalit
