#pragma once

#include "models/meeting_text_module.h"
#include "models/meeting_visual_item.h"
#include "models/meeting_visual_module.h"
#include "models/meeting_visual_module_kind.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <utility>

// Reads the small line-oriented tree language the model answers each
// summary tick in:
//   [阶段] 标题
//   [文本模块] 标题 => 正文          ("[文本]" and "：" / ":" separators too)
//   [图文模块] 类型|标题 => 甲::说明 || 乙
// The reading is lenient: lines that fit no form are skipped, malformed
// modules dropped, missing titles and kinds filled with fixed fallbacks.
// Nothing here fails.
namespace tovalit::MeetingTreeParser {

// One stage as the answer wrote it, before it becomes a block. A finished
// draft has a title and at least one text module.
struct MeetingParsedStageDraft {
    QString title;
    QList<MeetingTextModule> textModules;
    QList<MeetingVisualModule> visualModules;
};

// `lines` are already split, trimmed and without empty ones. Stages without
// a text module are dropped.
QList<MeetingParsedStageDraft> parseMeetingStageDrafts(const QStringList &lines);

// "标题 => 正文", "标题：正文", "标题:正文", or a bare body titled
// "阶段解读 <fallbackIndex>".
std::optional<MeetingTextModule> parseMeetingTextModule(QStringView text, int fallbackIndex);

// "header => items" or bare items (then the header is "多卡片|结构线索");
// the kind follows the visual kind rules.
std::optional<MeetingVisualModule> parseMeetingVisualModule(QStringView text);

// "标题::说明" or a bare title.
std::optional<MeetingVisualItem> parseMeetingVisualItem(QStringView text);

// "类型|标题" or a bare title; a layout name the lookup does not know gives
// no kind.
std::pair<std::optional<MeetingVisualModuleKind>, QString>
parseMeetingVisualModuleHeader(QStringView header);

// The draft a tick turns into a block: the one that is, or continues, the
// current stage (searching from the end), else the last one; the first one
// while there is no current stage.
std::optional<MeetingParsedStageDraft>
selectMeetingStageDraft(const QList<MeetingParsedStageDraft> &drafts, QStringView currentStageTitle,
                        int currentStageTextModuleCount, QStringView currentWindow);

} // namespace tovalit::MeetingTreeParser
