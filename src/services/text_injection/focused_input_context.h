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

} // namespace tovalit
