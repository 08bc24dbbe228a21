#include "services/meeting/meeting_live_transcript.h"

#include "models/meeting_node_id.h"
#include "support/textkit.h"

#include <QStringView>

#include <algorithm>

namespace tovalit::MeetingLiveTranscript {

namespace {

// A sentence that would take a segment past this starts the next one.
constexpr qsizetype segmentSoftLimit = 120;
// A segment this long is closed at once.
constexpr qsizetype segmentHardLimit = 140;

bool isSentenceEnd(QStringView character) {
    if (character.size() != 1)
        return false;
    switch (character.front().unicode()) {
    case u'。':
    case u'！':
    case u'？':
    case u'；':
    case u'!':
    case u'?':
    case u';':
    case u'\n':
        return true;
    default:
        return false;
    }
}

// Gathers sentences into segments. Lengths are kept alongside the texts:
// a trimmed sentence and a line feed never share a character, so the
// count of a joined text is the sum of its parts.
class SegmentBuilder {
public:
    // `finished` is false for the trailing words after the last sentence
    // end: they are still being spoken, so they stay in the live segment
    // however long they grow.
    void addSentence(QStringView sentence, bool finished = true) {
        const QString text = textkit::trimmed(sentence);
        if (text.isEmpty())
            return;
        const qsizetype length = textkit::graphemeCount(text);
        if (!m_chunk.isEmpty() && m_chunkLength + 1 + length > segmentSoftLimit)
            close(false);
        if (m_chunk.isEmpty()) {
            m_chunk = text;
            m_chunkLength = length;
        } else {
            m_chunk += u'\n' + text;
            m_chunkLength += 1 + length;
        }
        if (finished && m_chunkLength >= segmentHardLimit)
            close(false);
    }

    void close(bool live) {
        const QString text = textkit::trimmed(m_chunk);
        if (!text.isEmpty())
            m_segments.append({newMeetingNodeId(), text, live});
        m_chunk.clear();
        m_chunkLength = 0;
    }

    bool hasOpenChunk() const { return !m_chunk.isEmpty(); }
    QList<MeetingASRSegment> take() { return std::move(m_segments); }

private:
    QList<MeetingASRSegment> m_segments;
    QString m_chunk;
    qsizetype m_chunkLength = 0;
};

} // namespace

QString meetingTranscriptIncrement(const QString &previousText, const QString &currentText) {
    const QString previous = textkit::trimmed(previousText);
    const QString current = textkit::trimmed(currentText);
    if (current.isEmpty())
        return {};
    if (previous.isEmpty())
        return current;
    if (current == previous)
        return {};
    if (current.startsWith(previous)) {
        const std::vector<qsizetype> boundaries = textkit::graphemeBoundaries(current);
        const auto skipped = std::min<std::size_t>(
            static_cast<std::size_t>(textkit::graphemeCount(previous)), boundaries.size() - 1);
        return textkit::trimmed(QStringView(current).sliced(boundaries[skipped]));
    }
    // The recogniser took back the end of its text: nothing new.
    if (previous.startsWith(current))
        return {};

    const std::vector<qsizetype> before = textkit::graphemeBoundaries(previous);
    const std::vector<qsizetype> after = textkit::graphemeBoundaries(current);
    const std::size_t comparable = std::min(before.size(), after.size()) - 1;
    std::size_t agreed = 0;
    while (agreed < comparable) {
        const QStringView a =
            QStringView(previous).sliced(before[agreed], before[agreed + 1] - before[agreed]);
        const QStringView b =
            QStringView(current).sliced(after[agreed], after[agreed + 1] - after[agreed]);
        if (a != b)
            break;
        ++agreed;
    }
    return textkit::trimmed(QStringView(current).sliced(after[agreed]));
}

QString mergedMeetingIncrementalText(const QString &existing, const QString &increment) {
    const QString pending = textkit::trimmed(existing);
    const QString addition = textkit::trimmed(increment);
    if (addition.isEmpty())
        return pending;
    if (pending.isEmpty())
        return addition;
    return pending + u'\n' + addition;
}

QList<MeetingASRSegment> buildMeetingASRSegments(const QString &rawText) {
    QString normalized = rawText;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QString text = textkit::trimmed(normalized);
    if (text.isEmpty())
        return {};

    SegmentBuilder builder;
    const std::vector<qsizetype> boundaries = textkit::graphemeBoundaries(text);
    qsizetype sentenceStart = 0;
    for (std::size_t index = 0; index + 1 < boundaries.size(); ++index) {
        const qsizetype end = boundaries[index + 1];
        const QStringView character =
            QStringView(text).sliced(boundaries[index], end - boundaries[index]);
        if (isSentenceEnd(character)) {
            builder.addSentence(QStringView(text).sliced(sentenceStart, end - sentenceStart));
            sentenceStart = end;
        }
    }
    builder.addSentence(QStringView(text).sliced(sentenceStart), false);
    if (builder.hasOpenChunk())
        builder.close(true);
    return builder.take();
}

} // namespace tovalit::MeetingLiveTranscript
