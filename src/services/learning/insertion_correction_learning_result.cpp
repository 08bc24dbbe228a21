#include "services/learning/insertion_correction_learning_result.h"

namespace tovalit {

std::optional<ObservedInsertionCorrection>
InsertionCorrectionLearningResult::singleLearnedReplacement() const {
    if (learnedReplacements.size() == 1 && learnedHotwords.isEmpty())
        return learnedReplacements.first();
    return std::nullopt;
}

std::optional<QString> InsertionCorrectionLearningResult::singleLearnedHotword() const {
    if (learnedHotwords.size() == 1 && learnedReplacements.isEmpty())
        return learnedHotwords.first();
    return std::nullopt;
}

} // namespace tovalit
