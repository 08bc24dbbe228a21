#include "services/meeting/meeting_transcript_follower.h"

#include "models/meeting_node_id.h"
#include "support/textkit.h"

#include <QStringView>

#include <algorithm>

namespace tovalit {

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

} // namespace

QString MeetingTranscriptFollower::increment(const QString &previousText,
                                             const QString &currentText) {
    const QString previous = textkit::trimmed(previousText);
    const QString current = textkit::trimmed(currentText);
    if (current.isEmpty())
        return {};
    if (previous.isEmpty() || current == previous) {
        m_transcript.assign(current);
        return previous.isEmpty() ? current : QString();
    }
    // Usually the text of the last call already.
    m_transcript.assign(previous);
    const qsizetype previousCount = m_transcript.count();
    const GraphemeIndex::Change change = m_transcript.assign(current);

    if (change.commonUnits == previous.size()) {
        const qsizetype skipped = std::min(previousCount, m_transcript.count());
        return textkit::trimmed(QStringView(current).sliced(m_transcript.boundary(skipped)));
    }
    // The recogniser took back the end of its text: nothing new.
    if (change.commonUnits == current.size())
        return {};

    // The kept characters agree; the rest is compared one character at a
    // time, as far as both go.
    const qsizetype start = change.keptCharacters;
    const qsizetype from = m_transcript.boundary(start);
    const std::vector<qsizetype> before =
        textkit::graphemeBoundaries(QStringView(previous).sliced(from));
    const qsizetype comparable =
        std::min(qsizetype(before.size()) - 1, m_transcript.count() - start);
    qsizetype agreed = 0;
    while (agreed < comparable) {
        const QStringView earlier = QStringView(previous).sliced(from + before[std::size_t(agreed)],
                                                                 before[std::size_t(agreed) + 1] -
                                                                     before[std::size_t(agreed)]);
        if (earlier != m_transcript.character(start + agreed))
            break;
        ++agreed;
    }
    return textkit::trimmed(QStringView(current).sliced(m_transcript.boundary(start + agreed)));
}

QList<MeetingASRSegment> MeetingTranscriptFollower::segments(const QString &rawText) {
    QString normalized = rawText;
    if (normalized.contains(u'\r'))
        normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QString text = textkit::trimmed(normalized);
    if (text.isEmpty()) {
        reset();
        return {};
    }

    // Resume after the last sentence end that lies well inside the part
    // this text shares with the one segmented before.
    const qsizetype common = GraphemeIndex::commonPrefixLength(m_segmentedText, text);
    while (!m_checkpoints.empty() &&
           m_checkpoints.back().position > common - GraphemeIndex::settledDistance) {
        m_checkpoints.pop_back();
    }
    Chunk chunk;
    qsizetype sentenceStart = 0;
    if (m_checkpoints.empty()) {
        m_settled.clear();
    } else {
        const Checkpoint &resumed = m_checkpoints.back();
        m_settled.resize(resumed.settledCount);
        chunk = resumed.chunk;
        sentenceStart = resumed.position;
    }
    m_segmentedText = text;

    const QStringView rest = QStringView(text).sliced(sentenceStart);
    const std::vector<qsizetype> boundaries = textkit::graphemeBoundaries(rest);
    const qsizetype offset = sentenceStart;
    for (std::size_t index = 0; index + 1 < boundaries.size(); ++index) {
        const QStringView character =
            rest.sliced(boundaries[index], boundaries[index + 1] - boundaries[index]);
        if (!isSentenceEnd(character))
            continue;
        const qsizetype end = offset + boundaries[index + 1];
        addSentence(chunk, QStringView(text).sliced(sentenceStart, end - sentenceStart), true,
                    m_settled);
        sentenceStart = end;
        m_checkpoints.push_back({end, m_settled.size(), chunk});
    }

    // The words after the last sentence end are still being spoken: they
    // stay in the live segment however long they grow.
    QStringList closedAtEnd;
    addSentence(chunk, QStringView(text).sliced(sentenceStart), false, closedAtEnd);
    const QString live = textkit::trimmed(chunk.text);

    QList<MeetingASRSegment> segments;
    segments.reserve(m_settled.size() + closedAtEnd.size() + 1);
    for (const QString &settled : std::as_const(m_settled))
        segments.append({newMeetingNodeId(), settled, false});
    for (const QString &closed : std::as_const(closedAtEnd))
        segments.append({newMeetingNodeId(), closed, false});
    if (!live.isEmpty())
        segments.append({newMeetingNodeId(), live, true});
    return segments;
}

void MeetingTranscriptFollower::reset() {
    m_transcript = GraphemeIndex();
    m_segmentedText.clear();
    m_settled.clear();
    m_checkpoints.clear();
    m_checkpoints.shrink_to_fit();
}

// Lengths are kept alongside the texts: a trimmed sentence and a line feed
// never share a character, so the count of a joined text is the sum of its
// parts.
void MeetingTranscriptFollower::addSentence(Chunk &chunk, QStringView sentence, bool finished,
                                            QStringList &closed) {
    const QString text = textkit::trimmed(sentence);
    if (text.isEmpty())
        return;
    const qsizetype length = textkit::graphemeCount(text);
    if (!chunk.text.isEmpty() && chunk.length + 1 + length > segmentSoftLimit)
        close(chunk, closed);
    if (chunk.text.isEmpty()) {
        chunk = {text, length};
    } else {
        chunk.text += u'\n' + text;
        chunk.length += 1 + length;
    }
    if (finished && chunk.length >= segmentHardLimit)
        close(chunk, closed);
}

void MeetingTranscriptFollower::close(Chunk &chunk, QStringList &closed) {
    const QString text = textkit::trimmed(chunk.text);
    if (!text.isEmpty())
        closed.append(text);
    chunk = {};
}

} // namespace tovalit
