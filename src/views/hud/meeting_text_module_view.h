#pragma once

#include "models/meeting_text_module.h"
#include "views/hud/meeting_stage_accent.h"
#include "views/hud/rounded_box.h"

namespace tovalit {

// A text module of a meeting stage: its title as a pill over the wrapped
// body, on a card in the stage's colour.
class MeetingTextModuleView : public RoundedBox {
    Q_OBJECT
public:
    MeetingTextModuleView(const MeetingTextModule &module, MeetingStageAccent accent,
                          QWidget *parent = nullptr);
};

} // namespace tovalit
