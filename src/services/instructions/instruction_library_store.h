#pragma once

#include "models/instruction_library_snapshot.h"
#include "support/guarded_data_file.h"
#include "support/serial_executor.h"

#include <QDateTime>
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
// the next save.
class InstructionLibraryStore {
public:
    static constexpr const char *libraryFileName = "instruction-library.json";

    // `baseDirectory` replaces the data folder: used as is, created only by
    // a save. Without it the data folder is resolved for every call, moving
    // a former folder into place or creating it.
    explicit InstructionLibraryStore(std::optional<QString> baseDirectory = std::nullopt);
    ~InstructionLibraryStore();
    InstructionLibraryStore(const InstructionLibraryStore &) = delete;
    InstructionLibraryStore &operator=(const InstructionLibraryStore &) = delete;

    // The stored library, or the built-ins alone when there is no file.
    // Throws DataFolderError, InstructionLibraryStoreError or
    // InstructionLibraryDecodingError; the file is left as it is.
    QCoro::Task<InstructionLibrarySnapshot> loadSnapshot();
    // Writes the snapshot with current built-ins and returns what was
    // written. Throws DataFolderError or InstructionLibraryStoreError; the
    // previous file then stays intact.
    QCoro::Task<InstructionLibrarySnapshot> saveSnapshot(InstructionLibrarySnapshot snapshot);
    // Load, change and save in one step of the actor, so edits made one
    // after another each see the one before.
    QCoro::Task<InstructionLibrarySnapshot>
    update(std::function<void(InstructionLibrarySnapshot &)> transform);

private:
    // These run on the executor's thread.
    QString appSupportDirectory() const;
    QString libraryFilePath() const;
    InstructionLibrarySnapshot load();
    InstructionLibrarySnapshot save(InstructionLibrarySnapshot snapshot);

    const std::optional<QString> m_baseDirectory;
    // Checked before it is overwritten, so an unreadable file is kept.
    GuardedDataFile m_file;
    // Last: destroying it waits for queued work that uses the members above.
    SerialExecutor m_executor;
};

} // namespace tovalit
