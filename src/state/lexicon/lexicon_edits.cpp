#include "state/lexicon/lexicon_edits.h"

#include "services/learning/system_managed_boost_entries.h"
#include "services/lexicon/lexicon_term_validator.h"
#include "support/textkit.h"

#include <QSet>
#include <QStringList>

#include <algorithm>

namespace tovalit::LexiconEdits {

namespace {

using Kind = PersonalLexiconEntryKind;
using SyncStatus = PersonalLexiconCloudSyncStatus;

SyncStatus statusFor(bool enabled) {
    return enabled ? SyncStatus::pending : SyncStatus::localOnly;
}

// Hot words by their text; replacements by their source, where two
// replacements without a source share the absent key.
std::optional<QString> collisionKey(const PersonalLexiconEntry &entry) {
    if (entry.kind == Kind::hotword)
        return entry.normalizedTargetKey();
    return entry.normalizedSourceKey();
}

bool collides(const PersonalLexiconEntry &a, const PersonalLexiconEntry &b) {
    return a.kind == b.kind && collisionKey(a) == collisionKey(b);
}

const PersonalLexiconEntry *findByID(const QList<PersonalLexiconEntry> &entries, const QUuid &id) {
    for (const PersonalLexiconEntry &entry : entries) {
        if (entry.id() == id)
            return &entry;
    }
    return nullptr;
}

} // namespace

std::optional<Edit> manualEntryEdit(const ManualEntry &input, QList<PersonalLexiconEntry> entries,
                                    PersonalLexiconHistoryLearningState learningState,
                                    const QDateTime &now) {
    // The page has already told the user why a term is refused; what gets
    // here unchecked is dropped quietly.
    const QString trimmedTarget = textkit::trimmed(input.targetText);
    std::optional<QString> source;
    QString target;
    PersonalLexiconSharingScope scope = PersonalLexiconSharingScope::userPrivate;
    if (input.kind == Kind::replacement) {
        if (!input.sourceText)
            return std::nullopt;
        const auto pair = LexiconTermValidator::cloudCompatibleReplacementPair(
            textkit::trimmed(*input.sourceText), trimmedTarget);
        if (!pair)
            return std::nullopt;
        source = pair->source;
        target = pair->target;
    } else {
        const std::optional<QString> hotword =
            LexiconTermValidator::cloudCompatibleHotword(trimmedTarget);
        if (!hotword)
            return std::nullopt;
        target = *hotword;
        if (LexiconTermValidator::sharedGlossaryEligibleHotword(target))
            scope = PersonalLexiconSharingScope::sharedGlossaryCandidate;
    }

    if (input.id)
        entries.removeIf(
            [&](const PersonalLexiconEntry &entry) { return entry.id() == *input.id; });
    const PersonalLexiconEntry created(
        input.id.value_or(QUuid::createUuid()), input.kind, std::nullopt, scope, source, target,
        PersonalLexiconEntrySource::manual, std::max<qint64>(input.hitCount, 1), input.enabled,
        statusFor(input.enabled), input.createdAt.value_or(now), now, input.lastAppliedAt);
    // A word the user asks for is no longer one to keep away.
    if (input.kind == Kind::hotword)
        learningState.ignoredNormalizedTerms.removeAll(created.normalizedTargetKey());

    const auto collidesWithCreated = [&created](const PersonalLexiconEntry &entry) {
        return collides(entry, created);
    };
    QString action = QStringLiteral("create_requested");
    const auto existing = std::find_if(entries.begin(), entries.end(), collidesWithCreated);
    if (existing == entries.end()) {
        entries.append(created);
    } else {
        // The entry already there keeps its identity and history.
        action = QStringLiteral("update_requested");
        *existing = PersonalLexiconEntry(
            existing->id(), input.kind, existing->channel, created.sharingScope, created.sourceText,
            created.targetText, PersonalLexiconEntrySource::manual,
            std::max(existing->hitCount, created.hitCount), input.enabled, statusFor(input.enabled),
            existing->createdAt, now,
            existing->lastAppliedAt ? existing->lastAppliedAt : created.lastAppliedAt);
    }

    QList<PersonalLexiconEntry> reconciled =
        SystemManagedBoostEntries::reconcileSystemManagedBoostEntries(entries, now);
    const PersonalLexiconEntry *recorded = findByID(reconciled, created.id());
    if (!recorded) {
        const auto merged =
            std::find_if(reconciled.cbegin(), reconciled.cend(), collidesWithCreated);
        recorded = merged != reconciled.cend() ? &*merged : &created;
    }
    PersonalLexiconEntry entry = *recorded;
    return Edit{action, std::move(entry), std::move(reconciled), std::move(learningState)};
}

std::optional<Edit> toggleEdit(const QUuid &id, QList<PersonalLexiconEntry> entries,
                               const QDateTime &now) {
    const auto found =
        std::find_if(entries.begin(), entries.end(),
                     [&id](const PersonalLexiconEntry &entry) { return entry.id() == id; });
    if (found == entries.end())
        return std::nullopt;
    found->enabled = !found->enabled;
    found->updatedAt = now;
    found->cloudSyncStatus = statusFor(found->enabled);
    const PersonalLexiconEntry toggled = *found;

    QList<PersonalLexiconEntry> reconciled =
        SystemManagedBoostEntries::reconcileSystemManagedBoostEntries(entries, now);
    const PersonalLexiconEntry *current = findByID(reconciled, id);
    PersonalLexiconEntry entry = current ? *current : toggled;
    const QString action =
        entry.enabled ? QStringLiteral("toggle_enabled") : QStringLiteral("toggle_disabled");
    return Edit{action, std::move(entry), std::move(reconciled), std::nullopt};
}

Edit deleteEdit(const PersonalLexiconEntry &entry, QList<PersonalLexiconEntry> entries,
                PersonalLexiconHistoryLearningState learningState, const QDateTime &now) {
    entries.removeIf(
        [&entry](const PersonalLexiconEntry &other) { return other.id() == entry.id(); });
    // A history-learned word the user threw out must not come back with the
    // next batch.
    if (entry.kind == Kind::hotword &&
        entry.learningSource == PersonalLexiconEntrySource::historyFrequency) {
        const QString key = entry.normalizedTargetKey();
        if (!learningState.ignoredNormalizedTerms.contains(key))
            learningState.ignoredNormalizedTerms.append(key);
    }
    return Edit{QStringLiteral("delete_requested"), entry,
                SystemManagedBoostEntries::reconcileSystemManagedBoostEntries(entries, now),
                std::move(learningState)};
}

PersonalLexiconHistoryLearningState
learnedChangeLearningState(PersonalLexiconHistoryLearningState learningState,
                           const InsertionCorrectionLearningResult &result) {
    // A word the user has just corrected to is no longer one history
    // learning must keep away.
    QSet<QString> learnedKeys;
    for (const ObservedInsertionCorrection &replacement : result.learnedReplacements)
        learnedKeys.insert(PersonalLexiconEntry::normalizedValue(replacement.targetText));
    for (const QString &hotword : result.learnedHotwords)
        learnedKeys.insert(PersonalLexiconEntry::normalizedValue(hotword));
    QStringList ignored;
    for (const QString &term : learningState.ignoredNormalizedTerms) {
        if (!learnedKeys.contains(term))
            ignored.append(term);
    }
    learningState.ignoredNormalizedTerms = ignored;
    return learningState;
}

} // namespace tovalit::LexiconEdits
