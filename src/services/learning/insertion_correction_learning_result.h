#pragma once

#include "models/personal_lexicon_entry.h"
#include "services/learning/observed_insertion_correction.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tovalit {

// What one analysed edit teaches the lexicon.
struct InsertionCorrectionLearningResult {
    // The whole lexicon after learning, newest first; committed unchanged.
    QList<PersonalLexiconEntry> entries;
    // Each of these three lists holds every item once.
    QList<ObservedInsertionCorrection> learnedReplacements;
    QStringList learnedHotwords;
    // Hidden boost hot words that were newly created.
    QStringList promotedBoostTerms;
    // Nothing when nothing worth announcing was learned.
    std::optional<QString> toastMessage;

    // The one replacement learned, when that is all that was learned.
    std::optional<ObservedInsertionCorrection> singleLearnedReplacement() const;
    // The one hot word learned, when that is all that was learned.
    std::optional<QString> singleLearnedHotword() const;

    bool operator==(const InsertionCorrectionLearningResult &) const = default;
};

} // namespace tovalit
