#pragma once

#include <QString>
#include <QUuid>

namespace tovalit {

// A short run of recognised sentences for the raw-transcript list. Only the
// trailing segment still grows with the live transcript.
struct MeetingASRSegment {
    QUuid id;
    QString text;
    bool isLive = false;

    bool operator==(const MeetingASRSegment &) const = default;
};

} // namespace tovalit
