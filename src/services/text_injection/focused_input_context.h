#pragma once

#include "platform/accessibility_element.h"

#include <QString>

namespace tovalit {

// The input that is to receive dictated text, read just before writing:
// its whole text and its selection (or caret), in UTF-16 code units.
struct FocusedInputContext {
    AccessibilityElementRef element;
    QString currentValue;
    AccessibilityRange selectedRange;
};

// A focused editor that says it holds a selection but not where (Chromium's,
// beside some emoji), with its whole text before the paste: what the paste
// replaced is told from the text afterwards.
struct UnplacedSelectionField {
    AccessibilityElementRef element;
    QString valueBefore;
};

} // namespace tovalit
