// The user's own changes to the lexicon from the lexicon page, a
// correction learned from an edit, and the reset of the history
// bookkeeping once the whole history is gone.

#include "state/lexicon/lexicon_edits.h"
#include "state/lexicon/lexicon_host.h"
#include "state/lexicon/lexicon_keeper.h"
#include "support/spawn.h"

#include <QPointer>

namespace tovalit {

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

// The three tasks below work out their edit in LexiconEdits' plain
// functions: lambdas inside a coroutine's body are not safe with GCC 12. Each reads the
// lexicon only once it holds the lease, so it builds on every edit before
// it, saved or still on its way to the cloud.

QCoro::Task<void> LexiconKeeper::saveManualLexiconEntryNow(
    std::optional<QUuid> id, PersonalLexiconEntryKind kind, std::optional<QString> sourceText,
    QString targetText, bool enabled, qint64 hitCount, std::optional<QDateTime> createdAt,
    std::optional<QDateTime> lastAppliedAt) {
    const LexiconEdits::ManualEntry input{
        id,       kind,      std::move(sourceText), std::move(targetText), enabled,
        hitCount, createdAt, lastAppliedAt};
    const QPointer<LexiconKeeper> alive(this);
    PersonalLexiconLease lease = co_await acquirePersonalLexicon();
    if (!alive)
        co_return;
    std::optional<LexiconEdits::Edit> edit =
        LexiconEdits::manualEntryEdit(input, m_host.publishedLexiconEntries(),
                                      m_host.publishedHistoryLearningState(), m_systemDate());
    if (edit)
        co_await recordAndPersistPageEdit(std::move(lease), std::move(*edit));
}

QCoro::Task<void> LexiconKeeper::toggleLexiconEntryNow(QUuid id) {
    const QPointer<LexiconKeeper> alive(this);
    PersonalLexiconLease lease = co_await acquirePersonalLexicon();
    if (!alive)
        co_return;
    std::optional<LexiconEdits::Edit> edit =
        LexiconEdits::toggleEdit(id, m_host.publishedLexiconEntries(), m_systemDate());
    if (edit)
        co_await recordAndPersistPageEdit(std::move(lease), std::move(*edit));
}

QCoro::Task<void> LexiconKeeper::deleteLexiconEntryNow(PersonalLexiconEntry entry) {
    const QPointer<LexiconKeeper> alive(this);
    PersonalLexiconLease lease = co_await acquirePersonalLexicon();
    if (!alive)
        co_return;
    LexiconEdits::Edit edit =
        LexiconEdits::deleteEdit(entry, m_host.publishedLexiconEntries(),
                                 m_host.publishedHistoryLearningState(), m_systemDate());
    co_await recordAndPersistPageEdit(std::move(lease), std::move(edit));
}

QCoro::Task<void> LexiconKeeper::recordAndPersistPageEdit(PersonalLexiconLease lease,
                                                          LexiconEdits::Edit edit) {
    const QPointer<LexiconKeeper> alive(this);
    LexiconEventRecord record = LexiconEventRecord::forEntry(edit.action, edit.entry, edit.entries,
                                                             m_host.publishedLexiconCloudState());
    co_await m_auditTrail.record(std::move(record));
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
    const PersonalLexiconHistoryLearningState learningState =
        LexiconEdits::learnedChangeLearningState(m_host.publishedHistoryLearningState(), result);
    co_await persistPersonalLexicon(std::move(lease), result.entries,
                                    m_host.publishedLexiconCloudState(), learningState,
                                    std::nullopt, true, true);
}

} // namespace tovalit
