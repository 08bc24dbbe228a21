#pragma once

#include "models/meeting_minute_block.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Turns one summary answer into at most one stage block and settles where it
// goes: re-titled into the open stage when it continues it, then merged into
// the last block when the titles agree exactly, or appended.
namespace tovalit::MeetingStageBuilder {

// The block the answer describes, or nothing for "[不新增]" and for answers
// without a usable stage. Lines are split at every newline character
// (CR, LF, CRLF, U+2028 …). `index`, the seconds and `createdAt` come from
// the caller (the next stage number, the span of the pending transcript and
// its clock); the current stage's title, text-module count and the pending
// window choose between several stages in one answer.
std::optional<MeetingMinuteBlock> buildMeetingBlock(QStringView answer, int index, int startSecond,
                                                    int endSecond, QStringView currentStageTitle,
                                                    int currentStageTextModuleCount,
                                                    QStringView currentWindow,
                                                    const QDateTime &createdAt);

// The block, re-titled to the current stage when its title reads as a
// continuation of it.
MeetingMinuteBlock normalizedMeetingContinuationBlock(const MeetingMinuteBlock &block,
                                                      const QString &currentStageTitle,
                                                      int currentStageTextModuleCount,
                                                      QStringView currentWindow, bool mustDecide);

// "merge_into_current_stage" when `mergeMeetingBlock` would fold the block
// into the last one, else "append_new_stage".
QString meetingMergeActionDescription(const QList<MeetingMinuteBlock> &blocks,
                                      const MeetingMinuteBlock &block);

// Folds the block into the last one when their titles are equal exactly
// (case and blanks count), else appends it.
void mergeMeetingBlock(QList<MeetingMinuteBlock> &blocks, const MeetingMinuteBlock &block);

} // namespace tovalit::MeetingStageBuilder
