#pragma once

// Readable gtest failure messages for the insertion's values.

#include "models/insertion_result.h"
#include "models/observed_insertion_edit_event.h"
#include "services/text_injection/insertion_preparation.h"
#include "tests/support/qt_printers.h"

#include <ostream>

namespace tovalit {

inline void PrintTo(const AccessibilityRange &range, std::ostream *out) {
    *out << '{' << range.location << ", " << range.length << '}';
}

inline void PrintTo(const CharacterRange &range, std::ostream *out) {
    *out << range.lower << "..<" << range.upper;
}

inline void PrintTo(const RightContextOverlap &overlap, std::ostream *out) {
    *out << "{offset " << overlap.offset << ", length " << overlap.length << '}';
}

inline void PrintTo(const ContextAwareInsertionRewrite &rewrite, std::ostream *out) {
    PrintTo(rewrite.replacementRange, out);
    *out << " -> \"" << rewrite.text.toStdString() << '"';
}

inline void PrintTo(PreparationSource source, std::ostream *out) {
    *out << rawValue(source).toStdString();
}

inline void PrintTo(InsertionResult result, std::ostream *out) {
    *out << rawValue(result).toStdString();
}

inline void PrintTo(const ObservedInsertionEditEvent &event, std::ostream *out) {
    if (const ObservedInsertionEditSession *edit = event.session()) {
        *out << "stableEdited(" << edit->originalFieldText.toStdString() << " -> "
             << edit->finalFieldText.toStdString() << ')';
    } else {
        *out << "revertedToOriginal("
             << event.sessionID().toString(QUuid::WithoutBraces).toStdString() << ')';
    }
}

} // namespace tovalit
