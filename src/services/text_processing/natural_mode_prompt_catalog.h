#pragma once

#include <QString>
#include <QStringView>

namespace tovalit {

class StructuredFormattingTask;

// The system prompts of the structured formatter, and the checks that keep
// natural mode natural: whether a dictation was meant as a list, and whether
// a model answer came back shaped like minutes or a template.
namespace NaturalModePromptCatalog {

// The system message for a task. Natural mode gives the same prompt for a
// stage whether or not a context was captured.
QString systemPrompt(const StructuredFormattingTask &task);

// Two list markers ("第一", "1.", "一是" …), or one marker and a sequence
// word ("首先", "然后" …). Sequence words alone never make a list.
bool looksLikeListDictation(QStringView text);

// A line that is only a minutes or template heading ("## 总结", "Summary:",
// "待办：") disqualifies a natural-mode answer.
bool containsDisallowedTemplateHeading(QStringView text);

// In code editors and AI chats, an answer with two or more list lines, or
// two or more template fields, is over-structured, unless the dictation was
// itself a list.
bool isOverStructuredForNaturalMode(QStringView original, QStringView formatted,
                                    QStringView appProfileID);

} // namespace NaturalModePromptCatalog

} // namespace tovalit
