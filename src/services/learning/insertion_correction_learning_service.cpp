#include "services/learning/insertion_correction_learning_service.h"

#include "services/learning/lexicon_learning_helpers.h"
#include "services/lexicon/lexicon_term_validator.h"

#include <QSet>
#include <QUuid>

#include <algorithm>

namespace tovalit::InsertionCorrectionLearningService {

namespace {

using Kind = PersonalLexiconEntryKind;
using Channel = PersonalLexiconChannel;
using Scope = PersonalLexiconSharingScope;
using Source = PersonalLexiconEntrySource;
using SyncStatus = PersonalLexiconCloudSyncStatus;

PersonalLexiconCloudSyncStatus pendingOrLocal(bool enabled) {
    return enabled ? SyncStatus::pending : SyncStatus::localOnly;
}

// A matched entry that had never been counted (0) counts as one sighting
// before this one.
qint64 reinforcedCount(qint64 hitCount) {
    return lexiconlearning::incremented(std::max<qint64>(hitCount, 1));
}

QList<PersonalLexiconEntry>::iterator findBoostHotword(QList<PersonalLexiconEntry> &entries,
                                                       const QString &key) {
    return std::find_if(entries.begin(), entries.end(), [&](const PersonalLexiconEntry &entry) {
        return entry.channel == Channel::boost && entry.kind == Kind::hotword &&
               entry.normalizedTargetKey() == key;
    });
}

template <typename Item, typename KeyOf>
QList<Item> firstOfEachKey(const QList<Item> &items, KeyOf keyOf) {
    QList<Item> kept;
    QSet<QString> seen;
    for (const Item &item : items) {
        const QString key = keyOf(item);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        kept.append(item);
    }
    return kept;
}

} // namespace

InsertionCorrectionLearningResult learn(const LexiconLearningAIAnalysis &analysis,
                                        const QList<PersonalLexiconEntry> &existingEntries,
                                        const QDateTime &now) {
    if (!analysis.shouldLearn)
        return InsertionCorrectionLearningResult{existingEntries, {}, {}, {}, std::nullopt};

    QList<PersonalLexiconEntry> entries = existingEntries;
    QList<ObservedInsertionCorrection> replacements;
    QStringList hotwords;
    QStringList promoted;

    for (const LexiconLearningAICandidate &candidate : analysis.normalizedCandidates()) {
        const Scope scope =
            candidate.shareable ? Scope::sharedGlossaryCandidate : Scope::userPrivate;
        const std::optional<QString> hotwordForm =
            candidate.shareable
                ? LexiconTermValidator::sharedGlossaryEligibleHotword(candidate.targetText)
                : LexiconTermValidator::cloudCompatibleHotword(candidate.targetText);

        if (candidate.kind == LexiconLearningCandidateKind::hotword) {
            if (hotwordForm) {
                if (auto term = applyVisibleHotword(*hotwordForm, scope,
                                                    Source::insertionCorrection, entries, now))
                    hotwords.append(*term);
            }
            continue;
        }

        // A replacement without the text it replaces teaches nothing, not
        // even its target as a hot word.
        if (!candidate.sourceText)
            continue;
        const auto pair = LexiconTermValidator::cloudCompatibleReplacementPair(
            *candidate.sourceText, candidate.targetText);
        if (pair &&
            LexiconTermValidator::isAutoLearnableReplacementPair(pair->source, pair->target)) {
            replacements.append(applyReplacement(pair->source, pair->target, scope,
                                                 Source::insertionCorrection, entries, now));
            if (scope != Scope::userPrivate) {
                if (const auto boost =
                        LexiconTermValidator::sharedGlossaryEligibleHotword(pair->target)) {
                    if (auto created = applyHiddenBoostPromotion(*boost, entries, now))
                        promoted.append(*created);
                }
            }
        } else if (hotwordForm) {
            if (auto term = applyVisibleHotword(*hotwordForm, scope, Source::insertionCorrection,
                                                entries, now))
                hotwords.append(*term);
        }
    }

    // The toast counts what was collected, before duplicates are merged.
    std::optional<QString> toast = toastMessage(replacements, hotwords, promoted);
    return InsertionCorrectionLearningResult{
        sortedEntries(std::move(entries)), deduplicatedCorrections(replacements),
        deduplicatedTerms(hotwords), deduplicatedTerms(promoted), std::move(toast)};
}

ObservedInsertionCorrection applyReplacement(const QString &sourceText, const QString &targetText,
                                             PersonalLexiconSharingScope sharingScope,
                                             PersonalLexiconEntrySource learningSource,
                                             QList<PersonalLexiconEntry> &entries,
                                             const QDateTime &now) {
    const QString key = PersonalLexiconEntry::normalizedValue(sourceText);
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const PersonalLexiconEntry &entry) {
            return entry.channel == Channel::replace && entry.kind == Kind::replacement &&
                   entry.normalizedSourceKey() == key;
        });
    if (found != entries.end()) {
        const PersonalLexiconEntry &old = *found;
        *found =
            PersonalLexiconEntry(old.id(), Kind::replacement, Channel::replace,
                                 mergedSharingScope(old.sharingScope, sharingScope), sourceText,
                                 targetText, learningSource, reinforcedCount(old.hitCount),
                                 old.enabled, pendingOrLocal(old.enabled), old.createdAt, now, now);
    } else {
        entries.append(PersonalLexiconEntry(
            QUuid::createUuid(), Kind::replacement, Channel::replace, sharingScope, sourceText,
            targetText, learningSource, 1, true, SyncStatus::pending, now, now, now));
    }
    return ObservedInsertionCorrection{sourceText, targetText};
}

std::optional<QString> applyVisibleHotword(const QString &targetText,
                                           PersonalLexiconSharingScope sharingScope,
                                           PersonalLexiconEntrySource learningSource,
                                           QList<PersonalLexiconEntry> &entries,
                                           const QDateTime &now) {
    const auto found = findBoostHotword(entries, PersonalLexiconEntry::normalizedValue(targetText));
    if (found != entries.end()) {
        const PersonalLexiconEntry &old = *found;
        // A hot word the user typed stays the user's.
        const Source source =
            old.learningSource == Source::manual ? Source::manual : learningSource;
        *found =
            PersonalLexiconEntry(old.id(), Kind::hotword, Channel::boost,
                                 mergedSharingScope(old.sharingScope, sharingScope), std::nullopt,
                                 targetText, source, reinforcedCount(old.hitCount), old.enabled,
                                 pendingOrLocal(old.enabled), old.createdAt, now, now);
    } else {
        entries.append(PersonalLexiconEntry(QUuid::createUuid(), Kind::hotword, Channel::boost,
                                            sharingScope, std::nullopt, targetText, learningSource,
                                            1, true, SyncStatus::pending, now, now, now));
    }
    return targetText;
}

std::optional<QString> applyHiddenBoostPromotion(const QString &targetText,
                                                 QList<PersonalLexiconEntry> &entries,
                                                 const QDateTime &now) {
    const auto found = findBoostHotword(entries, PersonalLexiconEntry::normalizedValue(targetText));
    if (found != entries.end()) {
        PersonalLexiconEntry &entry = *found;
        // A hot word the user can see (typed, or learned from an earlier
        // correction) stays the user's; only hidden ones become the
        // replacement's system entry.
        if (entry.isSystemManaged())
            entry.learningSource = Source::replacementPromotion;
        if (entry.sharingScope != Scope::sharedGlossaryPublished)
            entry.sharingScope = Scope::sharedGlossaryCandidate;
        entry.lastAppliedAt = now;
        entry.hitCount = lexiconlearning::incremented(entry.hitCount);
        entry.updatedAt = now;
        entry.cloudSyncStatus = SyncStatus::pending;
        return std::nullopt;
    }
    entries.append(PersonalLexiconEntry(QUuid::createUuid(), Kind::hotword, Channel::boost,
                                        Scope::sharedGlossaryCandidate, std::nullopt, targetText,
                                        Source::replacementPromotion, 1, true, SyncStatus::pending,
                                        now, now, now));
    return targetText;
}

PersonalLexiconSharingScope mergedSharingScope(PersonalLexiconSharingScope current,
                                               PersonalLexiconSharingScope desired) {
    if (current == Scope::sharedGlossaryPublished || desired == Scope::sharedGlossaryPublished)
        return Scope::sharedGlossaryPublished;
    if (current == Scope::sharedGlossaryCandidate || desired == Scope::sharedGlossaryCandidate)
        return Scope::sharedGlossaryCandidate;
    return Scope::userPrivate;
}

QList<ObservedInsertionCorrection>
deduplicatedCorrections(const QList<ObservedInsertionCorrection> &corrections) {
    return firstOfEachKey(corrections, [](const ObservedInsertionCorrection &pair) -> QString {
        return PersonalLexiconEntry::normalizedValue(pair.sourceText) + u'|' +
               PersonalLexiconEntry::normalizedValue(pair.targetText);
    });
}

QStringList deduplicatedTerms(const QStringList &terms) {
    return firstOfEachKey(
        terms, [](const QString &term) { return PersonalLexiconEntry::normalizedValue(term); });
}

std::optional<QString> toastMessage(const QList<ObservedInsertionCorrection> &learnedReplacements,
                                    const QStringList &learnedHotwords,
                                    const QStringList &promotedBoostTerms) {
    const qsizetype count = learnedReplacements.size() + learnedHotwords.size();
    if (count >= 2)
        return QStringLiteral("已更新我的词条（") + QString::number(count) +
               QStringLiteral(" 项）。");
    if (count == 1 && !learnedReplacements.isEmpty()) {
        const ObservedInsertionCorrection &pair = learnedReplacements.first();
        return QStringLiteral("已记住“") + pair.sourceText + QStringLiteral("”改写为“") +
               pair.targetText + QStringLiteral("”。");
    }
    if (count == 1)
        return QStringLiteral("已将“") + learnedHotwords.first() +
               QStringLiteral("”加入我的词条。");
    if (!promotedBoostTerms.isEmpty())
        return QStringLiteral("已更新个人词库。");
    return std::nullopt;
}

QList<PersonalLexiconEntry> sortedEntries(QList<PersonalLexiconEntry> entries) {
    return lexiconlearning::sortedNewestFirst(std::move(entries));
}

} // namespace tovalit::InsertionCorrectionLearningService
