#include "services/learning/system_managed_boost_entries.h"

#include "services/lexicon/lexicon_term_validator.h"
#include "support/textkit.h"

#include <QHash>
#include <QUuid>

#include <algorithm>

namespace tovalit::SystemManagedBoostEntries {

namespace {

using Kind = PersonalLexiconEntryKind;
using Channel = PersonalLexiconChannel;
using Scope = PersonalLexiconSharingScope;
using Source = PersonalLexiconEntrySource;

bool isSystemManagedBoost(const PersonalLexiconEntry &entry) {
    return entry.kind == Kind::hotword && entry.channel == Channel::boost &&
           entry.learningSource == Source::replacementPromotion;
}

bool isEligible(const PersonalLexiconEntry &replacement) {
    return replacement.enabled &&
           LexiconTermValidator::sharedGlossaryEligibleHotword(replacement.targetText) &&
           (replacement.learningSource == Source::manual ||
            replacement.sharingScope != Scope::userPrivate);
}

std::optional<QDateTime> later(const std::optional<QDateTime> &a,
                               const std::optional<QDateTime> &b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::max(*a, *b);
}

// The one entry a group of eligible replacements (all with one target key)
// supports, built over the entry it replaces.
PersonalLexiconEntry rebuilt(QList<PersonalLexiconEntry> eligible,
                             const PersonalLexiconEntry *previous, const QDateTime &now) {
    std::stable_sort(eligible.begin(), eligible.end(),
                     [](const PersonalLexiconEntry &a, const PersonalLexiconEntry &b) {
                         if (a.hitCount != b.hitCount)
                             return a.hitCount > b.hitCount;
                         if (a.updatedAt != b.updatedAt)
                             return a.updatedAt > b.updatedAt;
                         return textkit::localizedStandardCompare(a.displayText(),
                                                                  b.displayText()) < 0;
                     });
    const PersonalLexiconEntry &best = eligible.first();

    qint64 highestCount = 0;
    QDateTime latestUpdate = eligible.first().updatedAt;
    std::optional<QDateTime> earliestCreation;
    std::optional<QDateTime> latestApplication;
    for (const PersonalLexiconEntry &replacement : eligible) {
        highestCount = std::max(highestCount, replacement.hitCount);
        latestUpdate = std::max(latestUpdate, replacement.updatedAt);
        earliestCreation = earliestCreation ? std::min(*earliestCreation, replacement.createdAt)
                                            : replacement.createdAt;
        latestApplication = later(latestApplication, replacement.lastAppliedAt);
    }

    const bool needsUpdate = !previous || previous->targetText != best.targetText ||
                             !previous->enabled || latestUpdate > previous->updatedAt;
    const PersonalLexiconCloudSyncStatus status =
        needsUpdate ? PersonalLexiconCloudSyncStatus::pending : previous->cloudSyncStatus;
    const Scope scope = previous && previous->sharingScope == Scope::sharedGlossaryPublished
                            ? Scope::sharedGlossaryPublished
                            : Scope::sharedGlossaryCandidate;
    return PersonalLexiconEntry(
        previous ? previous->id() : QUuid::createUuid(), Kind::hotword, Channel::boost, scope,
        std::nullopt, best.targetText, Source::replacementPromotion,
        std::max(previous ? previous->hitCount : 1, highestCount), true, status,
        previous ? previous->createdAt : earliestCreation.value_or(now),
        previous ? std::max(latestUpdate, previous->updatedAt) : latestUpdate,
        later(latestApplication, previous ? previous->lastAppliedAt : std::nullopt));
}

} // namespace

bool shouldPreferPromotedBoostEntry(const PersonalLexiconEntry &candidate,
                                    const PersonalLexiconEntry &current) {
    return LexiconTermValidator::shouldPrefer(candidate, &current);
}

QList<PersonalLexiconEntry>
reconcileSystemManagedBoostEntries(const QList<PersonalLexiconEntry> &entries,
                                   const QDateTime &now) {
    QHash<QString, PersonalLexiconEntry> previousByKey;
    QList<PersonalLexiconEntry> result;
    QSet<QString> visibleHotwordKeys;
    // Groups keep the order in which their targets first appear, so the
    // rebuilt entries come out in a stable order.
    QList<QString> groupOrder;
    QHash<QString, QList<PersonalLexiconEntry>> replacementsByKey;

    for (const PersonalLexiconEntry &entry : entries) {
        const QString key = entry.normalizedTargetKey();
        if (isSystemManagedBoost(entry)) {
            const auto kept = previousByKey.constFind(key);
            if (kept == previousByKey.constEnd() || shouldPreferPromotedBoostEntry(entry, *kept))
                previousByKey.insert(key, entry);
            continue;
        }
        result.append(entry);
        if (entry.kind == Kind::hotword && entry.channel == Channel::boost)
            visibleHotwordKeys.insert(key);
        if (entry.kind == Kind::replacement) {
            if (!replacementsByKey.contains(key))
                groupOrder.append(key);
            replacementsByKey[key].append(entry);
        }
    }

    for (const QString &key : groupOrder) {
        // The user already has this target as a hot word of their own.
        if (visibleHotwordKeys.contains(key))
            continue;
        QList<PersonalLexiconEntry> eligible;
        for (const PersonalLexiconEntry &replacement : replacementsByKey.value(key)) {
            if (isEligible(replacement))
                eligible.append(replacement);
        }
        if (eligible.isEmpty())
            continue;
        const auto previous = previousByKey.constFind(key);
        result.append(
            rebuilt(eligible, previous != previousByKey.constEnd() ? &*previous : nullptr, now));
    }
    return result;
}

} // namespace tovalit::SystemManagedBoostEntries
