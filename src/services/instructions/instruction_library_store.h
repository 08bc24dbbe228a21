#pragma once

#include "models/instruction_library_snapshot.h"
#include "support/clock.h"
#include "support/guarded_data_file.h"
#include "support/serial_executor.h"
#include "support/set_aside_copies.h"
#include "support/sleeper.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tovalit {

// Keeps the instruction library in "instruction-library.json" in the data
// folder. An actor: calls run one at a time on its own thread, each reading
// or replacing the whole file; it holds no copy of the library.
//
// Both directions bring the built-ins up to the current pack. A load never
// writes the file. A save writes atomically, and first moves aside (as
// "instruction-library.json.unreadable-<UTC time>") a file this store could
// not read, so a damaged file or one from a newer version is never lost to
// the next save. A file another writer changed since this store last read
// or wrote it keeps that change: the save's own changes are applied on top
// of it, entry by entry, and an entry both changed is saved as the save has
// it, with the other writer's file kept beside it
// ("instruction-library.json.conflict-<UTC time>"). Each copy is reported
// once (takeSetAsideFiles()), for the user to be told where it is.
class InstructionLibraryStore {
public:
    static constexpr const char *libraryFileName = "instruction-library.json";

    // Why a copy of the library file sits beside it.
    enum class SetAsideWhy {
        // Moved by a save: it does not decode, or was never read.
        unread,
        // Copied by a save: another writer changed an entry the save
        // changed too, and this is its version.
        conflict,
    };
    // A copy of the library file this store left beside it.
    using SetAsideFile = SetAsideCopy<SetAsideWhy>;

    // `baseDirectory` replaces the data folder: used as is, created only by
    // a save. Without it the data folder is resolved for every call, moving
    // a former folder into place or creating it. A save waits with
    // `sleeper` and tells a file's age by `clock` (the system's when empty).
    explicit InstructionLibraryStore(std::optional<QString> baseDirectory = std::nullopt,
                                     Sleeper sleeper = {}, Clock clock = {});
    ~InstructionLibraryStore();
    InstructionLibraryStore(const InstructionLibraryStore &) = delete;
    InstructionLibraryStore &operator=(const InstructionLibraryStore &) = delete;

    // The stored library, or the built-ins alone when there is no file.
    // Throws DataFolderError, InstructionLibraryStoreError or
    // InstructionLibraryDecodingError; the file is left as it is.
    QCoro::Task<InstructionLibrarySnapshot> loadSnapshot();
    // Writes the snapshot with current built-ins (merged onto another
    // writer's change) and returns what was written. Throws DataFolderError or
    // InstructionLibraryStoreError; the previous file then stays intact.
    QCoro::Task<InstructionLibrarySnapshot> saveSnapshot(InstructionLibrarySnapshot snapshot);
    // Load, change and save in one step of the actor, so edits made one
    // after another each see the one before.
    QCoro::Task<InstructionLibrarySnapshot>
    update(std::function<void(InstructionLibrarySnapshot &)> transform);
    // The copies left since the last call, oldest first. Any thread.
    QList<SetAsideFile> takeSetAsideFiles();

private:
    // These run on the executor's thread.
    QString appSupportDirectory() const;
    QString libraryFilePath() const;
    InstructionLibrarySnapshot load();
    InstructionLibrarySnapshot save(InstructionLibrarySnapshot snapshot);
    // The file does not decode yet, and another program may still be at it.
    bool beingRewritten() const;

    const std::optional<QString> m_baseDirectory;
    const Sleeper m_sleeper;
    const Clock m_clock;
    // Checked before it is overwritten, so an unreadable file is kept.
    GuardedDataFile m_file;
    // Noted on the executor, taken on the GUI thread.
    SetAsideCopies<SetAsideWhy> m_setAside;
    // Last: destroying it waits for queued work that uses the members above.
    SerialExecutor m_executor;
};

} // namespace tovalit
