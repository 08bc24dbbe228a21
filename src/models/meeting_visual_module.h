#pragma once

#include "models/meeting_visual_item.h"
#include "models/meeting_visual_module_kind.h"

#include <QList>
#include <QString>
#include <QUuid>

namespace tovalit {

// A titled board of short items, drawn in the layout its kind names.
struct MeetingVisualModule {
    QUuid id;
    MeetingVisualModuleKind kind = MeetingVisualModuleKind::cards;
    QString title;
    QList<MeetingVisualItem> items;

    bool operator==(const MeetingVisualModule &) const = default;
};

} // namespace tovalit
