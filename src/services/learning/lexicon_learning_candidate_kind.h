#pragma once

#include <QString>
#include <QStringView>

namespace tovalit {

// What the language model suggests learning from an edit: a source-to-target
// replacement, or a hot word to remember.
enum class LexiconLearningCandidateKind { replacement, hotword };

// "replacement" or "hotword": the value of a candidate's "kind".
QString rawValue(LexiconLearningCandidateKind kind);
// Only the exact lower-case words convert; anything else leaves `value`
// alone and returns false.
bool fromRawValue(QStringView rawValue, LexiconLearningCandidateKind &value);

} // namespace tovalit
