#pragma once

#include <QString>

// The fixed system prompts behind NaturalModePromptCatalog::systemPrompt().
// Kept apart from the checks because they are data, and long.
namespace tovalit::NaturalModePrompts {

QString shortCleanup();
QString mediumCleanup();
QString meetingIncremental();
QString meetingFinal();

} // namespace tovalit::NaturalModePrompts
