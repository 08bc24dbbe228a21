#pragma once

#include "models/meeting_text_module.h"
#include "models/meeting_visual_module.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

namespace tovalit {

// One stage of the live meeting summary: a span of recording seconds with at
// most three text modules and at most three visual boards. A block is an
// immutable value; its only constructor shapes the modules (cleans, merges
// and caps them), so every block, however it was made, keeps the limits the
// panel is laid out for.
class MeetingMinuteBlock {
public:
    // Starts below 0 become 0, an end before the start becomes the start.
    MeetingMinuteBlock(QUuid id, int index, QString title, int startSecond, int endSecond,
                       QList<MeetingTextModule> textModules,
                       QList<MeetingVisualModule> visualModules, QDateTime createdAt);

    const QUuid &id() const { return m_id; }
    // 1-based stage number.
    int index() const { return m_index; }
    // As the model wrote it; not trimmed here.
    const QString &title() const { return m_title; }
    int startSecond() const { return m_startSecond; }
    int endSecond() const { return m_endSecond; }
    const QList<MeetingTextModule> &textModules() const { return m_textModules; }
    const QList<MeetingVisualModule> &visualModules() const { return m_visualModules; }
    const QDateTime &createdAt() const { return m_createdAt; }

    // Folds a later block of the same stage into this one: this block's
    // identity, number, title and creation time; the union of both spans;
    // this block's modules followed by the other's, shaped again.
    MeetingMinuteBlock merging(const MeetingMinuteBlock &other) const;

    // The block written back in the tree language the model answers in, so
    // the next request sees the current stage in full.
    QString promptFragment() const;
    // Title and module names only, for the earlier stages of a request.
    QString promptOutlineFragment() const;

    // "mm:ss - mm:ss"; minutes are not wrapped into hours.
    static QString timeRangeLabel(int startSecond, int endSecond);

    bool operator==(const MeetingMinuteBlock &) const = default;

private:
    QUuid m_id;
    int m_index = 0;
    QString m_title;
    int m_startSecond = 0;
    int m_endSecond = 0;
    QList<MeetingTextModule> m_textModules;
    QList<MeetingVisualModule> m_visualModules;
    QDateTime m_createdAt;
};

} // namespace tovalit
