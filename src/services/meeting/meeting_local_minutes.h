#pragma once

#include "models/meeting_minute_block.h"

#include <QList>
#include <QString>

// Minutes written from the live summary tree when the model cannot write
// them: an overview (the first stage's first paragraph) and one entry per
// stage with its paragraphs and boards as list lines.
namespace tovalit::MeetingLocalMinutes {

// "## 会议概览", the overview, a blank line, "## 讨论演进", then the stage
// entries separated by blank lines; no final line feed. `blocks` must not
// be empty.
QString fromBlocks(const QList<MeetingMinuteBlock> &blocks);

} // namespace tovalit::MeetingLocalMinutes
