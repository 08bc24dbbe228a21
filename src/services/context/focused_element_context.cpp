#include "services/context/focused_element_context.h"

#include "support/textkit.h"

namespace tovalit {

bool FocusedElementContext::hasRichLocalTextContext() const {
    for (const auto *text :
         {&selectedText, &surroundingTextBeforeCursor, &surroundingTextAfterCursor}) {
        if (*text && !textkit::isBlank(**text))
            return true;
    }
    return false;
}

} // namespace tovalit
