#pragma once

#include <QString>
#include <QUuid>

namespace tovalit {

// A titled paragraph of one meeting stage: the model's reading of what was
// said, not a transcript.
struct MeetingTextModule {
    QUuid id;
    QString title;
    QString body;

    bool operator==(const MeetingTextModule &) const = default;
};

} // namespace tovalit
