#pragma once

#include <QString>

namespace tovalit {

// The two ways a dictation's text is tidied: natural mode for ordinary
// dictation, meeting mode (minutes) for long recordings.
enum class TranscriberMode { natural, meeting };

// "自然模式", "纪要模式".
QString displayName(TranscriberMode mode);

} // namespace tovalit
