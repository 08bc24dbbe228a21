#include "state/session/live_transcript_accumulator.h"

#include "support/textkit.h"

#include <algorithm>

namespace tovalit {

namespace {

// Canonically equivalent characters are the same character.
bool sameCharacter(QStringView a, QStringView b) {
    return a == b || textkit::nfc(a) == textkit::nfc(b);
}

} // namespace

QString LiveTranscriptAccumulator::normalized(QStringView text) {
    return textkit::trimmed(text);
}

void LiveTranscriptAccumulator::sealCurrentTranscript(QStringView transcript) {
    m_committedPrefix = normalized(transcript);
    m_prefix.assign(m_committedPrefix);
    const qsizetype count = m_prefix.count();
    m_prefixTail.clear();
    for (qsizetype index = std::max<qsizetype>(count - overlapWindow, 0); index < count; ++index)
        m_prefixTail << textkit::nfc(m_prefix.character(index));
    // The next stream starts from empty text.
    m_continuation = GraphemeIndex();
    m_continuationHead.clear();
}

void LiveTranscriptAccumulator::reset() {
    m_committedPrefix.clear();
    m_prefix = GraphemeIndex();
    m_prefixTail.clear();
    m_continuation = GraphemeIndex();
    m_continuationHead.clear();
}

QString LiveTranscriptAccumulator::mergedTranscript(QStringView continuation) const {
    const QString &p = m_committedPrefix;
    const QString c = normalized(continuation);
    if (p.isEmpty())
        return c;
    if (c.isEmpty())
        return p;

    const GraphemeIndex::Change change = m_continuation.assign(c);
    const qsizetype continuationLength = m_continuation.count();
    const qsizetype prefixLength = m_prefix.count();
    m_continuationHead.resize(std::min(m_continuationHead.size(), change.keptCharacters));
    while (m_continuationHead.size() < std::min(continuationLength, overlapWindow))
        m_continuationHead << textkit::nfc(m_continuation.character(m_continuationHead.size()));

    // The continuation only says again how the committed text ended.
    if (continuationLength <= prefixLength) {
        const qsizetype offset = prefixLength - continuationLength;
        qsizetype index = 0;
        while (index < continuationLength &&
               sameCharacter(m_prefix.character(offset + index), m_continuation.character(index))) {
            ++index;
        }
        if (index == continuationLength)
            return p;
    }

    const qsizetype tailLength = m_prefixTail.size();
    const qsizetype window = std::min({prefixLength, continuationLength, overlapWindow});
    for (qsizetype k = window; k >= 1; --k) {
        if (std::equal(m_prefixTail.cbegin() + (tailLength - k), m_prefixTail.cend(),
                       m_continuationHead.cbegin())) {
            return p + QStringView(c).sliced(m_continuation.boundary(k));
        }
    }
    return p + QLatin1Char('\n') + c;
}

QString LiveTranscriptAccumulator::renderedPartial(QStringView partial) const {
    return mergedTranscript(partial);
}

QString LiveTranscriptAccumulator::resolvedFinalTranscript(QStringView sessionTranscript,
                                                           QStringView fallback) const {
    const QString merged = normalized(mergedTranscript(sessionTranscript));
    if (!merged.isEmpty())
        return merged;
    return normalized(fallback);
}

} // namespace tovalit
