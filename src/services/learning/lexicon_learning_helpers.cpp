#include "services/learning/lexicon_learning_helpers.h"

#include "support/textkit.h"

#include <algorithm>
#include <limits>

namespace tovalit::lexiconlearning {

QList<PersonalLexiconEntry> sortedNewestFirst(QList<PersonalLexiconEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const PersonalLexiconEntry &a, const PersonalLexiconEntry &b) {
                         if (a.updatedAt != b.updatedAt)
                             return a.updatedAt > b.updatedAt;
                         return textkit::localizedStandardCompare(a.displayText(),
                                                                  b.displayText()) < 0;
                     });
    return entries;
}

qint64 incremented(qint64 hitCount) {
    return hitCount == std::numeric_limits<qint64>::max() ? hitCount : hitCount + 1;
}

} // namespace tovalit::lexiconlearning
