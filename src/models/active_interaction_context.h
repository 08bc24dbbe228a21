#pragma once

#include "models/natural_formatting_context.h"

#include <QString>

namespace tovalit {

// Where the user is typing when a dictation starts: the frontmost
// application and what surrounds its caret. Travels with the dictation to
// the formatter and to the insertion.
struct ActiveInteractionContext {
    // Trimmed; never empty ("Unknown App" when the application has no name).
    QString appName;
    // The application's identifier, or one made from its name.
    QString bundleID;
    qint32 processIdentifier = 0;
    NaturalFormattingContext naturalFormattingContext;

    bool operator==(const ActiveInteractionContext &) const = default;
};

} // namespace tovalit
