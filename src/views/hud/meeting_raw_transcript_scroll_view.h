#pragma once

#include "models/meeting_asr_segment.h"
#include "views/hud/meeting_list_scroll_view.h"

#include <QList>

namespace tovalit {

class RoundedBox;

// The raw recognised text of the meeting as numbered segment cards, the
// one still being recognised marked live; jumps to its newest text on
// every change. Rows are kept by position, since segment identifiers are
// new on every rebuild of the list: a row whose text and live mark are
// unchanged stays as it is, a changed one is updated in place. Rows are
// built as they come into view.
class MeetingRawTranscriptScrollView : public MeetingListScrollView {
    Q_OBJECT
public:
    MeetingRawTranscriptScrollView(QList<MeetingASRSegment> segments, QString bottomAnchorID,
                                   QWidget *parent = nullptr);

    void setSegments(QList<MeetingASRSegment> segments);
    const QList<MeetingASRSegment> &segments() const { return m_segments; }

    // "片段 01" … "片段 100".
    static QString segmentLabel(qsizetype position);

    // The rows built now (those in or near view), in order.
    QList<RoundedBox *> rows() const;
    // The row of segment `position`, or null while it is not built.
    RoundedBox *row(qsizetype position) const;
    // Null while there are segments.
    QWidget *placeholder() const { return placeholderWidget(); }

protected:
    QWidget *makeEntry(qsizetype index, QWidget *parent) override;
    bool refreshEntry(QWidget *entry, qsizetype index) override;
    bool entriesFillWidth() const override { return false; }

private:
    void applySegments(const QList<MeetingASRSegment> &previous);

    QList<MeetingASRSegment> m_segments;
};

} // namespace tovalit
