#pragma once

#include "models/meeting_asr_segment.h"
#include "views/hud/meeting_list_scroll_view.h"

#include <QList>

namespace tovalit {

class RoundedBox;

// The raw recognised text of the meeting as numbered segment cards, the
// one still being recognised marked live; jumps to its newest text on
// every change. Rows are kept by position: segment identifiers are new on
// every rebuild of the list.
class MeetingRawTranscriptScrollView : public MeetingListScrollView {
    Q_OBJECT
public:
    MeetingRawTranscriptScrollView(QList<MeetingASRSegment> segments, QString bottomAnchorID,
                                   QWidget *parent = nullptr);

    void setSegments(QList<MeetingASRSegment> segments);
    const QList<MeetingASRSegment> &segments() const { return m_segments; }

    // "片段 01" … "片段 100".
    static QString segmentLabel(qsizetype position);

    QList<RoundedBox *> rows() const { return m_rows; }
    // Null while there are segments.
    QWidget *placeholder() const { return m_placeholder; }

private:
    void applySegments();

    QList<MeetingASRSegment> m_segments;
    QList<RoundedBox *> m_rows;
    QWidget *m_placeholder = nullptr;
};

} // namespace tovalit
