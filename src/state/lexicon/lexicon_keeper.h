#pragma once

#include "models/personal_lexicon_audit_event.h"
#include "models/personal_lexicon_cloud_state.h"
#include "models/personal_lexicon_entry.h"
#include "models/personal_lexicon_history_learning_state.h"
#include "models/transcript_record.h"
#include "models/vellup_speech_lexicon_configuration.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "services/learning/insertion_correction_learning_result.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "state/lexicon/lexicon_audit_trail.h"
#include "state/shared/personal_lexicon_lease.h"
#include "support/async_mutex.h"
#include "support/clock.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class AppConfigurationStore;
class FloatingPanelCoordinating;
class GatewaySessionProviding;
class GatewaySessionRecovery;
class LexiconHost;
class PersonalLexiconEventLogging;
class PersonalLexiconStore;
class VolcengineSpeechLexiconSyncService;
struct HistoryLexiconDiscovery;
struct PersonalLexiconSnapshot;
namespace LexiconEdits {
struct Edit;
}

// The personal lexicon: loading, cleaning, the one persistence path every
// change takes, the user's edits, learning from the history and the cloud
// sync, with their audit events. Its values are published by the
// controller (through the host); its serialisation is its own.
//
// Lives on the GUI thread; every member runs there.
class LexiconKeeper : public QObject {
    Q_OBJECT

public:
    // `eventLogger` null: the audit log on the data folder.
    LexiconKeeper(LexiconHost &host, AppConfigurationStore &configurationStore,
                  GatewaySessionRecovery &gatewayRecovery,
                  std::shared_ptr<GatewaySessionProviding> gatewaySessionService,
                  std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                  std::shared_ptr<PersonalLexiconStore> personalLexiconStore,
                  std::shared_ptr<PersonalLexiconEventLogging> eventLogger, Clock currentDate,
                  Clock systemDate);
    ~LexiconKeeper() override;
    LexiconKeeper(const LexiconKeeper &) = delete;
    LexiconKeeper &operator=(const LexiconKeeper &) = delete;

    // --- The lexicon page -----------------------------------------------------
    // The status line: the last sync error, else how many of the user's
    // own entries are synchronised and in effect, else where they will be
    // synchronised to.
    QString personalLexiconSummary() const;
    // Reads the lexicon file and publishes it, saving it when it needed
    // cleaning; the start-up's first load. Never synchronises.
    QCoro::Task<void> loadPersonalLexicon();
    // Reads the lexicon again (saving it when it needed cleaning),
    // synchronises it with the cloud tables, and learns from the whole
    // history, as a daily batch would.
    QCoro::Task<void> refreshPersonalLexicon();
    // These start their work on the event loop and return at once. Input
    // the term rules refuse is dropped without a word.
    void saveManualLexiconEntry(std::optional<QUuid> id, PersonalLexiconEntryKind kind,
                                std::optional<QString> sourceText, QString targetText, bool enabled,
                                qint64 hitCount, std::optional<QDateTime> createdAt,
                                std::optional<QDateTime> lastAppliedAt);
    void toggleLexiconEntry(const PersonalLexiconEntry &entry);
    void deleteLexiconEntry(const PersonalLexiconEntry &entry);

    // --- The dictation and the start-up -----------------------------------------
    // What the recognisers are given of the lexicon as published.
    std::optional<VellupSpeechLexiconConfiguration> compiledSpeechLexiconConfiguration() const;
    // Whether the lexicon as published has something for the cloud: a
    // new namespace, an error of the last sync, or an entry that takes
    // part in syncing and waits for (or failed) its upload.
    bool isPersonalLexiconSyncDue() const;
    // One sync at a time, of the lexicon as it stands when the sync starts;
    // its outcome is merged into the lexicon as it stands when it returns.
    // The dictation never waits for one: it reads the published lexicon.
    QCoro::Task<void> synchronizePersonalLexicon(std::optional<QString> learningMessage,
                                                 QUuid followUpOf = QUuid());

    // --- Learning from the history ------------------------------------------------
    // What `records` teach: each record once, counted into the lexicon as
    // it stands when the model has answered. `followUpOf`: the session
    // after the dictation that filed them (see LexiconHost).
    QCoro::Task<void> processHistoryLexiconRecords(QList<TranscriptRecord> records,
                                                   bool markDailyBatchAt,
                                                   QUuid followUpOf = QUuid());
    // Once a calendar day (or when forced), over the whole history; the
    // history's load waits for it.
    QCoro::Task<void> runDailyHistoryLexiconBatchIfNeeded(bool force);
    // Forgets which records were counted, once the whole history is gone.
    QCoro::Task<void> resetHistoryLearningTracking();

    // --- Learning from edits --------------------------------------------------------
    // The lease for a change. After a load that could not read the file,
    // the file is read again first, so that the change is worked out from
    // what it holds; while it still cannot be read, saves are refused.
    QCoro::Task<PersonalLexiconLease> acquirePersonalLexicon();
    // Saves and synchronises a correction learned under `lease`.
    QCoro::Task<void> commitLearnedChange(PersonalLexiconLease lease,
                                          InsertionCorrectionLearningResult result);
    // Records `event` about the lexicon as published; reads it before
    // returning.
    QCoro::Task<void> recordAuditEvent(PersonalLexiconAuditEvent event);

    // What the user is told of a copy of the lexicon file left beside it.
    static QString setAsideNotice(const PersonalLexiconStore::SetAsideFile &file);

private:
    using LexiconEventRecord = LexiconAuditTrail::Record;

    // Loading, publication, persistence (lexicon_keeper.cpp).
    QCoro::Task<PersonalLexiconLease> lockPersonalLexicon();
    // True when the file was read and its lexicon published.
    QCoro::Task<bool> loadPersonalLexiconHoldingLease();
    // Publishes the empty lexicon of a load that failed, and tells why.
    QCoro::Task<void> publishLexiconLoadFailure(QString description, bool undecodable);
    // Tells the user of every copy of the lexicon file the store left
    // beside it since the last call; true when there was one.
    bool reportSetAsideLexiconFiles();
    // Publishes the copies of an unreadable lexicon file that sit beside it.
    QCoro::Task<void> lookForSetAsideLexiconCopies();
    PersonalLexiconSnapshot
    sanitizedPersonalLexiconSnapshot(PersonalLexiconSnapshot snapshot) const;
    void applyPersonalLexiconSnapshot(PersonalLexiconSnapshot snapshot);
    PersonalLexiconSnapshot personalLexiconSnapshot() const;
    // Every change of the lexicon ends here, with the lease it was worked
    // out under: clean, save, publish what was saved, then (releasing the
    // lease) optionally synchronise, save and publish again, recording each
    // step. Failures are reported (audit event and toast), never thrown.
    QCoro::Task<void>
    persistPersonalLexicon(PersonalLexiconLease lease, QList<PersonalLexiconEntry> entries,
                           PersonalLexiconCloudState cloudState,
                           std::optional<PersonalLexiconHistoryLearningState> historyLearningState,
                           std::optional<QString> learningMessage, bool prioritizeLocalSave,
                           bool syncCloud, QUuid followUpOf = QUuid());
    // Saves and publishes, or reports the failure under `failureAction`.
    QCoro::Task<std::optional<PersonalLexiconSnapshot>>
    storePersonalLexicon(PersonalLexiconSnapshot snapshot, QString failureAction,
                         QUuid followUpOf = QUuid());
    // Stores, then records `action` and shows the learning message.
    QCoro::Task<void> storePersonalLexiconAndRecord(PersonalLexiconSnapshot snapshot,
                                                    QString action,
                                                    std::optional<QString> learningMessage,
                                                    QUuid followUpOf = QUuid());

    // Editing (lexicon_editing.cpp).
    QCoro::Task<void> saveManualLexiconEntryNow(std::optional<QUuid> id,
                                                PersonalLexiconEntryKind kind,
                                                std::optional<QString> sourceText,
                                                QString targetText, bool enabled, qint64 hitCount,
                                                std::optional<QDateTime> createdAt,
                                                std::optional<QDateTime> lastAppliedAt);
    QCoro::Task<void> toggleLexiconEntryNow(QUuid id);
    QCoro::Task<void> deleteLexiconEntryNow(PersonalLexiconEntry entry);
    // Records a page's edit under the entry it names, then saves and syncs.
    QCoro::Task<void> recordAndPersistPageEdit(PersonalLexiconLease lease, LexiconEdits::Edit edit);

    // Learning from the history (lexicon_history_learning.cpp).
    QCoro::Task<QList<HistoryLexiconDiscovery>>
    extractHistoryDiscoveries(QList<TranscriptRecord> records);
    QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    resolveHistoryExtractorConfiguration();

    // Cloud sync (lexicon_sync.cpp).
    QCoro::Task<VolcengineSpeechLexiconSyncService> resolveLexiconSyncService();
    QCoro::Task<PersonalLexiconSnapshot>
    syncPersonalLexiconSnapshotWithGatewayRecovery(PersonalLexiconSnapshot snapshot);

    // --- Collaborators ------------------------------------------------------------
    LexiconHost &m_host;
    AppConfigurationStore &m_configurationStore;
    GatewaySessionRecovery &m_gatewayRecovery;
    // Syncs and history learning hold it past the keeper.
    std::shared_ptr<GatewaySessionProviding> m_gatewaySessionService;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
    std::shared_ptr<PersonalLexiconStore> m_personalLexiconStore;
    LexiconAuditTrail m_auditTrail;
    // The wall clock stamps entries and decides the calendar day; the
    // session clock, given to the audit trail, stamps its events.
    Clock m_systemDate;

    // --- Serialisation ------------------------------------------------------------
    // Shared with the tasks holding them, which may outlive the keeper.
    std::shared_ptr<AsyncMutex> m_personalLexiconMutex = std::make_shared<AsyncMutex>();
    std::shared_ptr<AsyncMutex> m_personalLexiconSyncMutex = std::make_shared<AsyncMutex>();
    // Why the last load could not read the lexicon file. Until a load
    // reads it, what is published is not what the file holds, and nothing
    // is saved over it.
    std::optional<QString> m_personalLexiconReadFailure;
    // The last load left out entries of the file: the next save keeps a
    // copy of the file as it was.
    bool m_personalLexiconFileToKeep = false;
    // A load gave the lexicon a namespace no sync has used yet.
    bool m_personalLexiconNamespaceIsNew = false;
    // Records a history batch is reading; an overlapping batch leaves them
    // to it.
    QSet<QUuid> m_historyLexiconRecordsInFlight;
};

} // namespace tovalit
