#pragma once

#include "services/learning/insertion_correction_learning_result.h"
#include "services/learning/lexicon_learning_ai_analysis.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The rules that turn the language model's verdict on one corrected
// insertion into lexicon changes: replacements, visible hot words, and the
// hidden boost hot words that carry a shareable correction's target to the
// speech service. Pure functions over a copy of the entry list; keys are
// PersonalLexiconEntry::normalizedValue().
namespace tovalit::InsertionCorrectionLearningService {

InsertionCorrectionLearningResult learn(const LexiconLearningAIAnalysis &analysis,
                                        const QList<PersonalLexiconEntry> &existingEntries,
                                        const QDateTime &now);

// Reinforces the replacement with the same source key, else appends one.
ObservedInsertionCorrection applyReplacement(const QString &sourceText, const QString &targetText,
                                             PersonalLexiconSharingScope sharingScope,
                                             PersonalLexiconEntrySource learningSource,
                                             QList<PersonalLexiconEntry> &entries,
                                             const QDateTime &now);
// Reinforces the boost hot word with the same key (whoever made it), else
// appends one. Returns the given text.
std::optional<QString> applyVisibleHotword(const QString &targetText,
                                           PersonalLexiconSharingScope sharingScope,
                                           PersonalLexiconEntrySource learningSource,
                                           QList<PersonalLexiconEntry> &entries,
                                           const QDateTime &now);
// The text when a hidden boost hot word was created; nothing when an
// existing boost hot word was reinforced instead.
std::optional<QString> applyHiddenBoostPromotion(const QString &targetText,
                                                 QList<PersonalLexiconEntry> &entries,
                                                 const QDateTime &now);

// The wider of two scopes: learning never narrows what may be shared.
PersonalLexiconSharingScope mergedSharingScope(PersonalLexiconSharingScope current,
                                               PersonalLexiconSharingScope desired);
QList<ObservedInsertionCorrection>
deduplicatedCorrections(const QList<ObservedInsertionCorrection> &corrections);
QStringList deduplicatedTerms(const QStringList &terms);
// Counts every item as collected, duplicates included.
std::optional<QString> toastMessage(const QList<ObservedInsertionCorrection> &learnedReplacements,
                                    const QStringList &learnedHotwords,
                                    const QStringList &promotedBoostTerms);
// Latest update first; equal times by display text in list order.
QList<PersonalLexiconEntry> sortedEntries(QList<PersonalLexiconEntry> entries);

} // namespace tovalit::InsertionCorrectionLearningService
