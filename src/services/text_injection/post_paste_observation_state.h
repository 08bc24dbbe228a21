#pragma once

#include <QString>

namespace tovalit {

// What the field shows after a paste that could not be verified.
struct PostPasteObservationState {
    enum class Kind {
        // Its text equals the text before the paste.
        unchanged,
        // Its text cannot be read.
        unreadable,
        // Its text differs from before; `value` holds it.
        changed,
    };

    Kind kind = Kind::unreadable;
    QString value;

    bool operator==(const PostPasteObservationState &) const = default;
};

} // namespace tovalit
