#pragma once

#include "models/meeting_visual_module.h"
#include "views/hud/meeting_stage_accent.h"

class QWidget;

namespace tovalit {

// The eight boards a visual module is drawn as. Every element of a board
// carries the object name "boardItem" and its zero-based position in the
// property "position"; connectors between elements are named "connector".
namespace MeetingVisualBoards {

// How far a board of `kind` starts above the line its content is laid out
// from, to keep marks whole that stand out above it (the rings round the
// history board's dots). The module card takes it out of the space above.
int roomAbove(MeetingVisualModuleKind kind);

// The board of the module's kind (the module has at least one item).
QWidget *contentView(const MeetingVisualModule &module, MeetingStageAccent accent, QWidget *parent);

QWidget *cardBoard(const MeetingVisualModule &module, MeetingStageAccent accent, QWidget *parent);
QWidget *chipBoard(const MeetingVisualModule &module, MeetingStageAccent accent, QWidget *parent);
QWidget *processBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                      QWidget *parent);
QWidget *beforeAfterBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                          QWidget *parent);
QWidget *annotationBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                         QWidget *parent);
QWidget *decisionBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                       QWidget *parent);
QWidget *hierarchyBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                        QWidget *parent);
QWidget *historyBoard(const MeetingVisualModule &module, MeetingStageAccent accent,
                      QWidget *parent);

} // namespace MeetingVisualBoards

} // namespace tovalit
