// The personal lexicon as the keeper holds it: loading, cleaning,
// publication, the status line, and the one persistence path every change
// of the lexicon takes, with its audit events.
//
// Changes are made one at a time under a lease: each is worked out from
// the lexicon as published, saved and published before the next one reads
// it, so no change is built on a list that misses an earlier one. Cloud
// syncs, which can take minutes on a bad network, run outside the lease,
// one at a time; each merges its outcome into the lexicon as it stands when
// it returns, so an edit made meanwhile is shown at once and kept.

#include "state/lexicon/lexicon_keeper.h"

#include "models/lexicon_decoding_error.h"
#include "models/personal_lexicon_snapshot.h"
#include "services/learning/system_managed_boost_entries.h"
#include "services/lexicon/lexicon_term_validator.h"
#include "services/lexicon/personal_lexicon_compiler.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "state/lexicon/lexicon_host.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/shared/gateway_session_recovery.h"
#include "state/shared/lexicon_date_text.h"
#include "support/app_error.h"
#include "support/spawn.h"
#include "support/textkit.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace tovalit {

namespace {

PersonalLexiconHistoryLearningState
sanitizedHistoryLearningState(const PersonalLexiconHistoryLearningState &state) {
    PersonalLexiconHistoryLearningState sanitized;
    sanitized.processedRecordIDs =
        SystemManagedBoostEntries::mergeOrderedUnique(state.processedRecordIDs, QList<QUuid>());
    QStringList terms;
    for (const QString &term : state.ignoredNormalizedTerms) {
        const QString key = PersonalLexiconEntry::normalizedValue(term);
        if (!key.isEmpty())
            terms.append(key);
    }
    sanitized.ignoredNormalizedTerms =
        SystemManagedBoostEntries::mergeOrderedUnique(terms, QStringList());
    sanitized.lastDailyBatchAt = state.lastDailyBatchAt;
    return sanitized;
}

// The sync's outcome for the lexicon as it stands now: its cloud state, and
// the sync status of every entry that is still as it was sent. An entry
// changed or added meanwhile keeps its own status until the next sync.
// "As it was sent" is judged as the file keeps entries, to the second: a
// reload of the file meanwhile changes no entry.
PersonalLexiconSnapshot mergedSyncOutcome(PersonalLexiconSnapshot current,
                                          const PersonalLexiconSnapshot &sent,
                                          const PersonalLexiconSnapshot &synced) {
    QHash<QUuid, qsizetype> sentAt;
    for (qsizetype i = 0; i < sent.entries.size(); ++i)
        sentAt.insert(sent.entries.at(i).id(), i);
    QHash<QUuid, PersonalLexiconCloudSyncStatus> syncedStatus;
    for (const PersonalLexiconEntry &entry : synced.entries)
        syncedStatus.insert(entry.id(), entry.cloudSyncStatus);
    for (PersonalLexiconEntry &entry : current.entries) {
        const auto position = sentAt.constFind(entry.id());
        const auto status = syncedStatus.constFind(entry.id());
        if (position != sentAt.cend() && status != syncedStatus.cend() &&
            sent.entries.at(*position).toJson() == entry.toJson()) {
            entry.cloudSyncStatus = *status;
        }
    }
    current.cloudState = synced.cloudState;
    return current;
}

} // namespace

LexiconKeeper::LexiconKeeper(LexiconHost &host, AppConfigurationStore &configurationStore,
                             GatewaySessionRecovery &gatewayRecovery,
                             std::shared_ptr<GatewaySessionProviding> gatewaySessionService,
                             std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                             std::shared_ptr<PersonalLexiconStore> personalLexiconStore,
                             std::shared_ptr<PersonalLexiconEventLogging> eventLogger,
                             Clock currentDate, Clock systemDate)
    : m_host(host)
    , m_configurationStore(configurationStore)
    , m_gatewayRecovery(gatewayRecovery)
    , m_gatewaySessionService(std::move(gatewaySessionService))
    , m_floatingPanelCoordinator(std::move(floatingPanelCoordinator))
    , m_personalLexiconStore(std::move(personalLexiconStore))
    , m_auditTrail(host, std::move(eventLogger), std::move(currentDate))
    , m_systemDate(std::move(systemDate)) {}

LexiconKeeper::~LexiconKeeper() = default;

// --- Loading and publication ----------------------------------------------------

QCoro::Task<PersonalLexiconLease> LexiconKeeper::lockPersonalLexicon() {
    PersonalLexiconLease lease{m_personalLexiconMutex, {}};
    lease.guard = co_await lease.mutex->lock();
    co_return lease;
}

QCoro::Task<PersonalLexiconLease> LexiconKeeper::acquirePersonalLexicon() {
    const QPointer<LexiconKeeper> alive(this);
    PersonalLexiconLease lease = co_await lockPersonalLexicon();
    // Published after a load that could not read the file is the empty
    // lexicon: a change worked out from it would replace the user's.
    if (alive && m_personalLexiconReadFailure)
        co_await loadPersonalLexiconHoldingLease();
    co_return lease;
}

QCoro::Task<void> LexiconKeeper::loadPersonalLexicon() {
    const QPointer<LexiconKeeper> alive(this);
    // A change in progress is saved before the file is read again.
    const PersonalLexiconLease lease = co_await lockPersonalLexicon();
    if (alive)
        co_await loadPersonalLexiconHoldingLease();
}

QCoro::Task<bool> LexiconKeeper::loadPersonalLexiconHoldingLease() {
    const QPointer<LexiconKeeper> alive(this);
    const std::shared_ptr<PersonalLexiconStore> store = m_personalLexiconStore;
    std::optional<PersonalLexiconSnapshot> loaded;
    std::exception_ptr failure;
    bool undecodable = false;
    try {
        loaded = co_await store->loadSnapshot();
    } catch (const LexiconDecodingError &) {
        failure = std::current_exception();
        undecodable = true;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!alive)
        co_return false;
    co_await lookForSetAsideLexiconCopies();
    if (!alive)
        co_return false;
    if (failure) {
        co_await publishLexiconLoadFailure(describeError(failure), undecodable);
        co_return false;
    }

    m_personalLexiconReadFailure.reset();
    // Entries the term rules refuse (typed into the file by hand, say)
    // leave the lexicon here; the first save over the file keeps it as it
    // was beside it, even when that is not this load's own.
    m_personalLexiconFileToKeep =
        LexiconTermValidator::sanitizeAutoGeneratedEntries(loaded->entries).size() <
        loaded->entries.size();
    const PersonalLexiconSnapshot sanitized = sanitizedPersonalLexiconSnapshot(*loaded);
    if (sanitized.cloudState.syncNamespace != loaded->cloudState.syncNamespace)
        m_personalLexiconNamespaceIsNew = true;
    // What was read is the lexicon from now on, even when its cleaned form
    // cannot be written back (a full or read-only disk): that failure is
    // reported, and the next save tries again.
    applyPersonalLexiconSnapshot(sanitized);
    if (sanitized != *loaded) {
        // A first start, a missing namespace or a repaired entry. The cloud
        // hears of it from the sync that follows (at start-up, once every
        // load is through), not while the loads wait.
        co_await storePersonalLexiconAndRecord(sanitized, QStringLiteral("persist_local_only"),
                                               std::nullopt);
        if (!alive)
            co_return false;
    }
    LexiconEventRecord record = LexiconEventRecord::snapshot(
        QStringLiteral("load_snapshot"), sanitized.entries, sanitized.cloudState);
    co_await m_auditTrail.record(std::move(record));
    co_return true;
}

QCoro::Task<void> LexiconKeeper::publishLexiconLoadFailure(QString description, bool undecodable) {
    // The application goes on with an empty lexicon. A file that was read
    // but does not decode has been moved aside by the store; one that could
    // not be read (a permission, a network folder) may be fine the next
    // time, and no save replaces it before it is read.
    const bool isReread = m_personalLexiconReadFailure.has_value();
    m_personalLexiconFileToKeep = false;
    if (undecodable)
        m_personalLexiconReadFailure.reset();
    else
        m_personalLexiconReadFailure = description;
    m_host.publishLexiconEntries({});
    m_host.publishLexiconCloudState(PersonalLexiconCloudState::empty());
    m_host.publishHistoryLearningState(PersonalLexiconHistoryLearningState::empty());
    const QString message = QStringLiteral("个人词库加载失败：") + description;
    m_host.publishRecentLexiconLearningMessage(message);
    // The page only says the lexicon is empty: the user is told why, and
    // where the file went. A file that still cannot be read as the next
    // change reads it again was told already.
    if (!reportSetAsideLexiconFiles() && (undecodable || !isReread)) {
        TovalitDebugLogger::log(QStringLiteral("lexicon.load_failed"), message);
        m_host.showAppNotice(message);
    }
    LexiconEventRecord record = LexiconEventRecord::snapshot(
        QStringLiteral("load_failed"), {}, PersonalLexiconCloudState::empty(), description);
    co_await m_auditTrail.record(std::move(record));
}

QString LexiconKeeper::setAsideNotice(const PersonalLexiconStore::SetAsideFile &file) {
    using Why = PersonalLexiconStore::SetAsideFile::Why;
    QString notice;
    switch (file.why) {
    case Why::undecodable:
        notice = QStringLiteral("个人词库文件无法解析，我的词条暂时为空；原文件另存为：");
        break;
    case Why::unread:
        notice = QStringLiteral("保存个人词库时，原文件无法解析或未经读取，已另存为：");
        break;
    case Why::kept:
        notice = QStringLiteral("载入个人词库时移除了不符合词条规则的条目，原文件另存为：");
        break;
    case Why::conflict:
        notice =
            QStringLiteral("个人词库里有词条也被其他程序改过，已按本次修改保存，另一版本另存为：");
        break;
    }
    // The copy's name in full, never cut off with the folder in front of
    // it: it sits beside the lexicon file, whose folder the lexicon page
    // names.
    return notice + QFileInfo(file.path).fileName();
}

QCoro::Task<void> LexiconKeeper::lookForSetAsideLexiconCopies() {
    const QPointer<LexiconKeeper> alive(this);
    const std::shared_ptr<PersonalLexiconStore> store = m_personalLexiconStore;
    // Only the copies of a file that could not be read: the user is left
    // to recover their entries by hand.
    const QStringList copies = co_await store->unreadableCopies();
    if (!alive)
        co_return;
    m_host.publishSetAsideLexiconCopies(copies);
}

bool LexiconKeeper::reportSetAsideLexiconFiles() {
    const QList<PersonalLexiconStore::SetAsideFile> files =
        m_personalLexiconStore->takeSetAsideFiles();
    if (!files.isEmpty()) {
        spawn(
            this, [this] { return lookForSetAsideLexiconCopies(); },
            QStringLiteral("look for set-aside lexicon copies"));
    }
    for (const PersonalLexiconStore::SetAsideFile &file : files) {
        const QString notice = setAsideNotice(file);
        TovalitDebugLogger::log(QStringLiteral("lexicon.set_aside"),
                                notice + QStringLiteral(" | path=") + file.path);
        m_host.showAppNotice(notice);
    }
    return !files.isEmpty();
}

QCoro::Task<void> LexiconKeeper::refreshPersonalLexicon() {
    const QPointer<LexiconKeeper> alive(this);
    bool loaded = false;
    {
        const PersonalLexiconLease lease = co_await lockPersonalLexicon();
        if (!alive)
            co_return;
        loaded = co_await loadPersonalLexiconHoldingLease();
        if (!alive)
            co_return;
    }
    // What the user asked for, due or not; but never an empty lexicon in
    // place of one that could not be read.
    if (loaded) {
        co_await synchronizePersonalLexicon(std::nullopt);
        if (!alive)
            co_return;
    }
    co_await processHistoryLexiconRecords(m_host.historyRecords(), true);
}

bool LexiconKeeper::isPersonalLexiconSyncDue() const {
    if (m_personalLexiconNamespaceIsNew)
        return true;
    const std::optional<QString> &error = m_host.publishedLexiconCloudState().lastErrorMessage;
    if (error && !textkit::isBlank(*error))
        return true;
    return std::any_of(
        m_host.publishedLexiconEntries().cbegin(), m_host.publishedLexiconEntries().cend(),
        [](const PersonalLexiconEntry &entry) {
            return entry.participatesInCloudSync() &&
                   (entry.cloudSyncStatus == PersonalLexiconCloudSyncStatus::pending ||
                    entry.cloudSyncStatus == PersonalLexiconCloudSyncStatus::failed);
        });
}

PersonalLexiconSnapshot
LexiconKeeper::sanitizedPersonalLexiconSnapshot(PersonalLexiconSnapshot snapshot) const {
    PersonalLexiconSnapshot sanitized;
    sanitized.cloudState = snapshot.cloudState.ensuringSyncNamespace();
    sanitized.entries = SystemManagedBoostEntries::reconcileSystemManagedBoostEntries(
        LexiconTermValidator::sanitizeAutoGeneratedEntries(snapshot.entries), m_systemDate());
    sanitized.historyLearningState = sanitizedHistoryLearningState(snapshot.historyLearningState);
    return sanitized;
}

void LexiconKeeper::applyPersonalLexiconSnapshot(PersonalLexiconSnapshot snapshot) {
    // Latest change first; equal times in the order a file browser uses.
    std::stable_sort(snapshot.entries.begin(), snapshot.entries.end(),
                     [](const PersonalLexiconEntry &a, const PersonalLexiconEntry &b) {
                         if (a.updatedAt != b.updatedAt)
                             return a.updatedAt > b.updatedAt;
                         return textkit::localizedStandardCompare(a.displayText(),
                                                                  b.displayText()) < 0;
                     });
    m_host.publishLexiconEntries(std::move(snapshot.entries));
    m_host.publishLexiconCloudState(std::move(snapshot.cloudState));
    m_host.publishHistoryLearningState(std::move(snapshot.historyLearningState));
}

PersonalLexiconSnapshot LexiconKeeper::personalLexiconSnapshot() const {
    PersonalLexiconSnapshot snapshot;
    snapshot.entries = m_host.publishedLexiconEntries();
    snapshot.cloudState = m_host.publishedLexiconCloudState();
    snapshot.historyLearningState = m_host.publishedHistoryLearningState();
    return snapshot;
}

std::optional<VellupSpeechLexiconConfiguration>
LexiconKeeper::compiledSpeechLexiconConfiguration() const {
    return PersonalLexiconCompiler::makeSpeechConfiguration(personalLexiconSnapshot());
}

// --- Status line --------------------------------------------------------------------

QString LexiconKeeper::personalLexiconSummary() const {
    const PersonalLexiconCloudState &cloud = m_host.publishedLexiconCloudState();
    if (cloud.lastErrorMessage && !textkit::isBlank(*cloud.lastErrorMessage))
        return *cloud.lastErrorMessage;

    qsizetype visible = 0;
    qsizetype active = 0;
    for (const PersonalLexiconEntry &entry : m_host.publishedLexiconEntries()) {
        if (!entry.isUserVisible())
            continue;
        ++visible;
        if (entry.enabled)
            ++active;
    }
    if (cloud.lastSyncedAt) {
        return QStringLiteral("已整理 ") + QString::number(visible) +
               QStringLiteral(" 条我的词条，其中 ") + QString::number(active) +
               QStringLiteral(" 条正在生效，最近同步于 ") +
               LexiconDateText::format(*cloud.lastSyncedAt) + QStringLiteral("。");
    }
    if (m_configurationStore.gatewayBaseURL())
        return QStringLiteral("我的词条会通过 Tovalit "
                              "Gateway 自动同步，后续识别和整理会优先采用你确认过的写法。");
    if (!m_configurationStore.volcengineSpeechOpenAPIConfiguration())
        return QStringLiteral(
            "未配置火山 OpenAPI AK/SK。我的词条会先在本地生效；完成配置后会自动同步到云端。");
    if (visible > 0) {
        return QStringLiteral("Vellup云端词库已就绪，当前有 ") + QString::number(visible) +
               QStringLiteral(" 条我的词条，后续会自动同步。");
    }
    return QStringLiteral(
        "Vellup云端词库已就绪。你后续确认过的词条会自动同步，并继续用于识别和整理。");
}

// --- Persistence ------------------------------------------------------------------------

QCoro::Task<void> LexiconKeeper::persistPersonalLexicon(
    PersonalLexiconLease lease, QList<PersonalLexiconEntry> entries,
    PersonalLexiconCloudState cloudState,
    std::optional<PersonalLexiconHistoryLearningState> historyLearningState,
    std::optional<QString> learningMessage, bool prioritizeLocalSave, bool syncCloud,
    QUuid followUpOf) {
    // Every wait below may outlast the keeper; nothing is touched then.
    const QPointer<LexiconKeeper> alive(this);
    PersonalLexiconSnapshot requested;
    requested.entries = std::move(entries);
    requested.cloudState = std::move(cloudState);
    requested.historyLearningState =
        historyLearningState.value_or(m_host.publishedHistoryLearningState());
    const PersonalLexiconSnapshot snapshot = sanitizedPersonalLexiconSnapshot(std::move(requested));

    if (!syncCloud) {
        co_await storePersonalLexiconAndRecord(snapshot, QStringLiteral("persist_local_only"),
                                               std::move(learningMessage), followUpOf);
        co_return;
    }

    // The change is saved and shown before any network work, so that the
    // next change starts from it however long a sync takes, and the cloud
    // never receives what the file could not keep.
    const QString failureAction = prioritizeLocalSave ? QStringLiteral("local_snapshot_save_failed")
                                                      : QStringLiteral("persist_failed");
    const std::optional<PersonalLexiconSnapshot> saved =
        co_await storePersonalLexicon(snapshot, failureAction, followUpOf);
    if (!alive || !saved)
        co_return;
    if (prioritizeLocalSave) {
        LexiconEventRecord record = LexiconEventRecord::snapshot(
            QStringLiteral("local_snapshot_saved"), saved->entries, saved->cloudState);
        co_await m_auditTrail.record(std::move(record));
        if (!alive)
            co_return;
    }
    lease.guard.unlock();
    co_await synchronizePersonalLexicon(std::move(learningMessage), followUpOf);
}

QCoro::Task<void> LexiconKeeper::synchronizePersonalLexicon(std::optional<QString> learningMessage,
                                                            QUuid followUpOf) {
    const QPointer<LexiconKeeper> alive(this);
    const std::shared_ptr<AsyncMutex> syncMutex = m_personalLexiconSyncMutex;
    const AsyncMutex::Guard syncing = co_await syncMutex->lock();
    // What stands in for a lexicon that could not be read must never
    // replace the cloud's copy of it.
    if (!alive || m_personalLexiconReadFailure)
        co_return;
    // Everything published so far goes, this call's change and any later
    // one: a sync that follows finds nothing left behind.
    const PersonalLexiconSnapshot sent = personalLexiconSnapshot();
    const PersonalLexiconSnapshot synced =
        co_await syncPersonalLexiconSnapshotWithGatewayRecovery(sent);
    if (!alive)
        co_return;
    m_personalLexiconNamespaceIsNew = false;
    LexiconEventRecord record = LexiconEventRecord::snapshot(QStringLiteral("cloud_sync_resolved"),
                                                             synced.entries, synced.cloudState);
    co_await m_auditTrail.record(std::move(record));
    if (!alive)
        co_return;

    const PersonalLexiconLease lease = co_await acquirePersonalLexicon();
    if (!alive)
        co_return;
    // The lexicon as published is clean already; cleaning it again would
    // set the sync statuses just returned back to pending.
    PersonalLexiconSnapshot merged = mergedSyncOutcome(personalLexiconSnapshot(), sent, synced);
    co_await storePersonalLexiconAndRecord(std::move(merged), QStringLiteral("persist_applied"),
                                           std::move(learningMessage), followUpOf);
}

QCoro::Task<std::optional<PersonalLexiconSnapshot>>
LexiconKeeper::storePersonalLexicon(PersonalLexiconSnapshot snapshot, QString failureAction,
                                    QUuid followUpOf) {
    const QPointer<LexiconKeeper> alive(this);
    const std::shared_ptr<PersonalLexiconStore> store = m_personalLexiconStore;
    const std::shared_ptr<FloatingPanelCoordinating> panel = m_floatingPanelCoordinator;
    std::optional<PersonalLexiconSnapshot> saved;
    // The file could not be read, even just now: it keeps what it holds.
    std::optional<QString> failure = m_personalLexiconReadFailure;
    const PersonalLexiconStore::PreviousFile previous =
        m_personalLexiconFileToKeep ? PersonalLexiconStore::PreviousFile::keepCopy
                                    : PersonalLexiconStore::PreviousFile::replace;
    if (!failure) {
        try {
            saved = co_await store->saveSnapshot(snapshot, previous);
        } catch (...) {
            failure = describeError(std::current_exception());
        }
    }
    if (!alive)
        co_return std::nullopt;
    // Failed or not, the save may have kept the file it found.
    reportSetAsideLexiconFiles();
    if (failure) {
        // Nothing new is published, and the file keeps what it held.
        LexiconEventRecord record = LexiconEventRecord::snapshot(
            std::move(failureAction), snapshot.entries, snapshot.cloudState, failure);
        co_await m_auditTrail.record(std::move(record));
        if (!alive || !m_host.isSilencedFollowUp(followUpOf)) {
            panel->showToast(QStringLiteral("个人词库保存失败：") + *failure, std::nullopt,
                             std::nullopt, {});
        }
        co_return std::nullopt;
    }
    if (previous == PersonalLexiconStore::PreviousFile::keepCopy)
        m_personalLexiconFileToKeep = false;
    applyPersonalLexiconSnapshot(*saved);
    co_return saved;
}

QCoro::Task<void>
LexiconKeeper::storePersonalLexiconAndRecord(PersonalLexiconSnapshot snapshot, QString action,
                                             std::optional<QString> learningMessage,
                                             QUuid followUpOf) {
    const QPointer<LexiconKeeper> alive(this);
    const std::optional<PersonalLexiconSnapshot> saved = co_await storePersonalLexicon(
        std::move(snapshot), QStringLiteral("persist_failed"), followUpOf);
    if (!alive || !saved)
        co_return;
    LexiconEventRecord record =
        LexiconEventRecord::snapshot(std::move(action), saved->entries, saved->cloudState);
    co_await m_auditTrail.record(std::move(record));
    if (alive && learningMessage && !textkit::isBlank(*learningMessage) &&
        !m_host.isSilencedFollowUp(followUpOf)) {
        m_host.publishLastResultMessage(learningMessage);
    }
}

QCoro::Task<void> LexiconKeeper::recordAuditEvent(PersonalLexiconAuditEvent event) {
    // No entry, entry list or cloud state: the trail describes the
    // lexicon as it stands. A plain function, so the lexicon is read before
    // the caller's next step.
    LexiconEventRecord record;
    record.event = std::move(event);
    return m_auditTrail.record(std::move(record));
}

} // namespace tovalit
