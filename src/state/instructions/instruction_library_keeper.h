#pragma once

#include "models/instruction_library_entry.h"
#include "models/instruction_routing_result.h"
#include "services/instructions/instruction_library_store.h"
#include "support/async_mutex.h"
#include "support/clock.h"
#include "support/sleeper.h"
#include "support/spawn.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class FloatingPanelCoordinating;
class GatewaySessionRecovery;
class InstructionLibraryKeeperHost;

// The instruction library: loaded at start-up, edited by the library page
// and by voice-created instructions, saved whole and republished (through
// the host) as the store wrote it; and the spoken instruction at the start
// of a dictation, run on the rest of it or drafted into a new entry.
//
// Lives on the GUI thread; every member runs there.
class InstructionLibraryKeeper : public QObject {
    Q_OBJECT

public:
    // `store`: null selects the store on the data folder.
    InstructionLibraryKeeper(InstructionLibraryKeeperHost &host,
                             std::shared_ptr<InstructionLibraryStore> store,
                             GatewaySessionRecovery &gatewayRecovery,
                             std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                             Clock currentDate, Sleeper sleepForDuration);
    ~InstructionLibraryKeeper() override;
    InstructionLibraryKeeper(const InstructionLibraryKeeper &) = delete;
    InstructionLibraryKeeper &operator=(const InstructionLibraryKeeper &) = delete;

    // What speech can call: the built-ins in their stored order, then the
    // custom entries, latest update first.
    QList<InstructionLibraryEntry> allEntries() const;
    // Reads the library file and publishes it; the start-up's load.
    QCoro::Task<void> load();

    // The editor's operations. They start their work on the event loop and
    // return at once; edits are saved one after another, each from the
    // library as the one before left it, and every outcome is a toast.
    // `id` and `createdAt` are absent for a new entry.
    void saveManualEntry(std::optional<QUuid> id, const QString &title, const QString &summary,
                         const QString &promptTemplate, InstructionLibraryCategory category,
                         bool enabled, qint64 maxTokens, std::optional<QDateTime> createdAt);
    // Custom entries only; a built-in one is left alone.
    void toggleEntry(const InstructionLibraryEntry &entry);
    void deleteEntry(const InstructionLibraryEntry &entry);

    // The spoken instruction at the start of a dictation's transcript, for
    // the stop and the retry of an archived recording.
    QCoro::Task<InstructionRoutingResult> routeIfNeeded(QString transcript);

    // One entry per lookup key (the later update wins, the first seen on a
    // tie), latest update first, equal times by title in numeric order.
    static QList<InstructionLibraryEntry>
    sortedEntries(const QList<InstructionLibraryEntry> &entries);
    // The entry a spoken description becomes when no model drafts it,
    // stamped `now`.
    static InstructionLibraryEntry fallbackDraft(const QString &description, const QDateTime &now);
    static InstructionLibraryCategory fallbackCategory(const QString &text);
    // What the user is told of a copy of the library file left beside it.
    static QString setAsideNotice(const InstructionLibraryStore::SetAsideFile &file);

    // How long a voice-created instruction waits behind its undo toast (the
    // toasts say "5 秒").
    static constexpr double creationUndoWindow = 5.0;

private:
    // Holding one keeps the library to one loader or editor at a time.
    struct LibraryLease {
        // Declared first, so the guard releases a mutex that still exists.
        std::shared_ptr<AsyncMutex> mutex;
        AsyncMutex::Guard guard;
    };

    // --- Library state and editing (instruction_library_keeper.cpp) ------------
    // The lease, after a load when none has read the file yet: an edit
    // never starts from a list that was not read from the file.
    QCoro::Task<LibraryLease> acquireLibrary();
    QCoro::Task<void> loadHoldingLease();
    // Why the save failed, after its toast; nothing once saved.
    QCoro::Task<std::optional<QString>> persistLibrary(QList<InstructionLibraryEntry> entries,
                                                       std::optional<QString> toastMessage);
    // A notice for each copy of the file the store has left beside it.
    void reportSetAsideFiles();
    QCoro::Task<void> saveManualEntryNow(std::optional<QUuid> id, QString title, QString summary,
                                         QString promptTemplate,
                                         InstructionLibraryCategory category, bool enabled,
                                         qint64 maxTokens, std::optional<QDateTime> createdAt);
    QCoro::Task<void> toggleEntryNow(QUuid id);
    QCoro::Task<void> deleteEntryNow(InstructionLibraryEntry entry);

    // --- Spoken commands (instruction_routing.cpp) -------------------------------
    QCoro::Task<InstructionRoutingResult> executeInstruction(InstructionLibraryEntry entry,
                                                             QString input);

    // --- Voice-created instructions (instruction_voice_drafting.cpp) -------------
    QCoro::Task<InstructionRoutingResult> createInstructionFromVoice(QString description);
    // Nothing when the keeper goes while the draft is made.
    QCoro::Task<std::optional<InstructionLibraryEntry>> buildInstructionDraft(QString description);
    void schedulePendingCreation(const InstructionLibraryEntry &entry);
    QCoro::Task<void> waitOutUndoWindow(InstructionLibraryEntry entry, QUuid token,
                                        CancelToken cancel);
    void cancelPendingCreation(bool showFeedback);
    QCoro::Task<void> commitPendingCreation(InstructionLibraryEntry entry, QUuid token);

    // --- Collaborators -------------------------------------------------------------
    InstructionLibraryKeeperHost &m_host;
    std::shared_ptr<InstructionLibraryStore> m_store;
    GatewaySessionRecovery &m_gatewayRecovery;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
    Clock m_currentDate;
    Sleeper m_sleepForDuration;

    // --- State ---------------------------------------------------------------------
    TaskHandle m_pendingCreateTask;
    // Only the waiting task made with this token may still commit.
    QUuid m_pendingCreateToken;
    qint64 m_builtinTemplateVersion;
    // Shared with the tasks holding it, which may outlive the keeper.
    std::shared_ptr<AsyncMutex> m_libraryMutex = std::make_shared<AsyncMutex>();
    // A load has read the file (or found none), whether or not it could
    // decode what it read.
    bool m_hasLoadedLibrary = false;
    // Why the last load could not read the file: until a load reads it,
    // nothing is saved over it.
    std::optional<QString> m_libraryReadFailure;
};

} // namespace tovalit
