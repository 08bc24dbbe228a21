#pragma once

#include "models/meeting_visual_item.h"
#include "models/meeting_visual_module_kind.h"

#include <QList>
#include <QStringView>

// Which layout a visual module is drawn in. The model may name a layout, an
// unknown one or none, and often names one that does not suit the content;
// cue words in the title and items settle it.
namespace tovalit::MeetingVisualKindRules {

// The layout the title and item titles call for (item bodies are not read).
// Used when the module header names no known layout.
MeetingVisualModuleKind inferMeetingVisualModuleKind(QStringView title,
                                                     const QList<MeetingVisualItem> &items);

// The layout finally drawn. Content that is clearly a comparison of two, or
// a decision or risk, overrides whatever was named; a "process" without
// sequence words falls back to tags or cards.
MeetingVisualModuleKind normalizedMeetingVisualModuleKind(MeetingVisualModuleKind preferred,
                                                          MeetingVisualModuleKind inferred,
                                                          QStringView title,
                                                          const QList<MeetingVisualItem> &items);

} // namespace tovalit::MeetingVisualKindRules
