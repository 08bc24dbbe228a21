#pragma once

#include "models/meeting_asr_segment.h"
#include "support/grapheme_index.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace tovalit {

// Reads a meeting's live transcript as it arrives: the part that is new
// since the previous text, and the whole text cut into segments. The
// recogniser resends the whole transcript with every partial result, and
// an hour of it is tens of thousands of characters, so what the previous
// text settled (its characters, and the segments closed before its last
// sentence ends) is kept and only the changed end is read again. The
// results are exactly those of reading each text afresh
// (MeetingLiveTranscript).
class MeetingTranscriptFollower {
public:
    // MeetingLiveTranscript::meetingTranscriptIncrement(previous, current).
    QString increment(const QString &previous, const QString &current);
    // MeetingLiveTranscript::buildMeetingASRSegments(text), with fresh
    // identifiers for every segment.
    QList<MeetingASRSegment> segments(const QString &text);
    // Forgets everything read.
    void reset();

private:
    // A segment in the making: sentences joined by line feeds, with its
    // length in characters.
    struct Chunk {
        QString text;
        qsizetype length = 0;
    };
    // Where a sentence ended: what was settled up to there.
    struct Checkpoint {
        qsizetype position = 0;
        qsizetype settledCount = 0;
        Chunk chunk;
    };

    static void addSentence(Chunk &chunk, QStringView sentence, bool finished, QStringList &closed);
    static void close(Chunk &chunk, QStringList &closed);

    GraphemeIndex m_transcript;
    // The segmented text, the closed segments, and a checkpoint after
    // every sentence end.
    QString m_segmentedText;
    QStringList m_settled;
    std::vector<Checkpoint> m_checkpoints;
};

} // namespace tovalit
