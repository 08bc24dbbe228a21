#pragma once

#include <QString>

namespace tovalit {

// One replacement that edit learning applied, both texts as stored in the
// lexicon entry.
struct ObservedInsertionCorrection {
    QString sourceText;
    QString targetText;

    bool operator==(const ObservedInsertionCorrection &) const = default;
};

} // namespace tovalit
