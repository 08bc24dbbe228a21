#pragma once

#include <QString>
#include <QUuid>

namespace tovalit {

// One entry of a visual board; the body may be empty (tags have none).
struct MeetingVisualItem {
    QUuid id;
    QString title;
    QString body;

    bool operator==(const MeetingVisualItem &) const = default;
};

} // namespace tovalit
