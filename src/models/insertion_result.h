#pragma once

#include <QString>

namespace tovalit {

// What became of one delivered dictation, as the user is told.
enum class InsertionResult {
    insertedDirectly,
    pastedFromClipboard,
    pastedNeedsAttention,
    copiedToClipboard,
    insertFailedCopiedToClipboard,
    // The clipboard refused the text (only copying, or after a failed
    // insertion); the history record is then the one place that has it.
    copyFailed,
    insertFailedCopyFailed,
};

// The case name ("pastedFromClipboard" …), for logs.
QString rawValue(InsertionResult result);
// "已插入" for the three inserted cases, "已复制到剪贴板",
// "插入失败，已复制到剪贴板", and for the refused copies what became of the
// text.
QString message(InsertionResult result);
// Whether the dictated text went onto the clipboard (every case but a
// direct write).
bool touchedClipboard(InsertionResult result);
// Whether the user has to paste the text themselves: the history record is
// then filed as a warning.
bool requiresAttention(InsertionResult result);
// Whether writing into the focused input failed, whatever became of the
// copy.
bool insertionFailed(InsertionResult result);

} // namespace tovalit
