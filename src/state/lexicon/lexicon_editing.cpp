// The user's own changes to the lexicon from the lexicon page, a
// correction learned from an edit, and the reset of the history
// bookkeeping once the whole history is gone.

#include "services/learning/system_managed_boost_entries.h"
#include "services/lexicon/lexicon_term_validator.h"
#include "state/lexicon/lexicon_host.h"
#include "state/lexicon/lexicon_keeper.h"
#include "support/spawn.h"
#include "support/textkit.h"

#include <QPointer>
#include <QSet>

namespace tovalit {

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

// One edit of the entry list, worked out before anything is recorded or
// saved: its action word, the entry the audit event names, the whole
// reconciled list and the history bookkeeping to store with it.
struct LexiconEdit {
    QString action;
    PersonalLexiconEntry entry;
    QList<PersonalLexiconEntry> entries;
    std::optional<PersonalLexiconHistoryLearningState> learningState;
};

struct ManualEntryInput {
    std::optional<QUuid> id;
    Kind kind;
    std::optional<QString> sourceText;
    QString targetText;
    bool enabled;
    qint64 hitCount;
    std::optional<QDateTime> createdAt;
    std::optional<QDateTime> lastAppliedAt;
};

std::optional<LexiconEdit> manualEntryEdit(const ManualEntryInput &input,
                                           QList<PersonalLexiconEntry> entries,
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
    return LexiconEdit{action, std::move(entry), std::move(reconciled), std::move(learningState)};
}

std::optional<LexiconEdit> toggleEdit(const QUuid &id, QList<PersonalLexiconEntry> entries,
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
    return LexiconEdit{action, std::move(entry), std::move(reconciled), std::nullopt};
}

LexiconEdit deleteEdit(const PersonalLexiconEntry &entry, QList<PersonalLexiconEntry> entries,
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
    return LexiconEdit{QStringLiteral("delete_requested"), entry,
                       SystemManagedBoostEntries::reconcileSystemManagedBoostEntries(entries, now),
                       std::move(learningState)};
}

} // namespace

void LexiconKeeper::saveManualLexiconEntry(std::optional<QUuid> id, PersonalLexiconEntryKind kind,
                                           std::optional<QString> sourceText, QString targetText,
                                           bool enabled, qint64 hitCount,
                                           std::optional<QDateTime> createdAt,
                                           std::optional<QDateTime> lastAppliedAt) {
    spawn(
        this,
        [this, id, kind, sourceText, targetText, enabled, hitCount, createdAt, lastAppliedAt] {
            return saveManualLexiconEntryNow(id, kind, sourceText, targetText, enabled, hitCount,
                                             createdAt, lastAppliedAt);
        },
        QStringLiteral("save lexicon entry"));
}

void LexiconKeeper::toggleLexiconEntry(const PersonalLexiconEntry &entry) {
    spawn(
        this, [this, id = entry.id()] { return toggleLexiconEntryNow(id); },
        QStringLiteral("toggle lexicon entry"));
}

void LexiconKeeper::deleteLexiconEntry(const PersonalLexiconEntry &entry) {
    spawn(
        this, [this, entry] { return deleteLexiconEntryNow(entry); },
        QStringLiteral("delete lexicon entry"));
}

// The three tasks below work out their edit in a plain function: lambdas
// inside a coroutine's body are not safe with GCC 12. Each reads the
// lexicon only once it holds the lease, so it builds on every edit before
// it, saved or still on its way to the cloud.

QCoro::Task<void> LexiconKeeper::saveManualLexiconEntryNow(
    std::optional<QUuid> id, PersonalLexiconEntryKind kind, std::optional<QString> sourceText,
    QString targetText, bool enabled, qint64 hitCount, std::optional<QDateTime> createdAt,
    std::optional<QDateTime> lastAppliedAt) {
    const ManualEntryInput input{
        id,       kind,      std::move(sourceText), std::move(targetText), enabled,
        hitCount, createdAt, lastAppliedAt};
    const QPointer<LexiconKeeper> alive(this);
    PersonalLexiconLease lease = co_await acquirePersonalLexicon();
    if (!alive)
        co_return;
    std::optional<LexiconEdit> edit =
        manualEntryEdit(input, m_host.publishedLexiconEntries(),
                        m_host.publishedHistoryLearningState(), m_systemDate());
    if (!edit)
        co_return;
    LexiconEventRecord record = LexiconEventRecord::forEntry(
        edit->action, edit->entry, edit->entries, m_host.publishedLexiconCloudState());
    co_await recordLexiconEvent(std::move(record));
    if (!alive)
        co_return;
    co_await persistPersonalLexicon(std::move(lease), std::move(edit->entries),
                                    m_host.publishedLexiconCloudState(),
                                    std::move(edit->learningState), std::nullopt, false, true);
}

QCoro::Task<void> LexiconKeeper::toggleLexiconEntryNow(QUuid id) {
    const QPointer<LexiconKeeper> alive(this);
    PersonalLexiconLease lease = co_await acquirePersonalLexicon();
    if (!alive)
        co_return;
    std::optional<LexiconEdit> edit =
        toggleEdit(id, m_host.publishedLexiconEntries(), m_systemDate());
    if (!edit)
        co_return;
    LexiconEventRecord record = LexiconEventRecord::forEntry(
        edit->action, edit->entry, edit->entries, m_host.publishedLexiconCloudState());
    co_await recordLexiconEvent(std::move(record));
    if (!alive)
        co_return;
    co_await persistPersonalLexicon(std::move(lease), std::move(edit->entries),
                                    m_host.publishedLexiconCloudState(), std::nullopt, std::nullopt,
                                    false, true);
}

QCoro::Task<void> LexiconKeeper::deleteLexiconEntryNow(PersonalLexiconEntry entry) {
    const QPointer<LexiconKeeper> alive(this);
    PersonalLexiconLease lease = co_await acquirePersonalLexicon();
    if (!alive)
        co_return;
    LexiconEdit edit = deleteEdit(entry, m_host.publishedLexiconEntries(),
                                  m_host.publishedHistoryLearningState(), m_systemDate());
    LexiconEventRecord record = LexiconEventRecord::forEntry(edit.action, edit.entry, edit.entries,
                                                             m_host.publishedLexiconCloudState());
    co_await recordLexiconEvent(std::move(record));
    if (!alive)
        co_return;
    co_await persistPersonalLexicon(std::move(lease), std::move(edit.entries),
                                    m_host.publishedLexiconCloudState(),
                                    std::move(edit.learningState), std::nullopt, false, true);
}

QCoro::Task<void> LexiconKeeper::resetHistoryLearningTracking() {
    const QPointer<LexiconKeeper> alive(this);
    PersonalLexiconLease lease = co_await acquirePersonalLexicon();
    if (!alive)
        co_return;
    PersonalLexiconHistoryLearningState reset = m_host.publishedHistoryLearningState();
    reset.processedRecordIDs.clear();
    reset.lastDailyBatchAt.reset();
    if (reset == m_host.publishedHistoryLearningState())
        co_return;
    co_await persistPersonalLexicon(std::move(lease), m_host.publishedLexiconEntries(),
                                    m_host.publishedLexiconCloudState(), reset, std::nullopt, false,
                                    false);
}

QCoro::Task<void> LexiconKeeper::commitLearnedChange(PersonalLexiconLease lease,
                                                     InsertionCorrectionLearningResult result) {
    // A word the user has just corrected to is no longer one history
    // learning must keep away.
    PersonalLexiconHistoryLearningState learningState = m_host.publishedHistoryLearningState();
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

    co_await persistPersonalLexicon(std::move(lease), result.entries,
                                    m_host.publishedLexiconCloudState(), learningState,
                                    std::nullopt, true, true);
}

} // namespace tovalit
