#pragma once

#include "models/personal_lexicon_snapshot.h"
#include "support/guarded_data_file.h"
#include "support/serial_executor.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <functional>
#include <mutex>
#include <optional>

namespace tovalit {

// Keeps the whole personal lexicon in "personal-lexicon.json" in the data
// folder. An actor: calls run one at a time on its own thread, each reading
// or replacing the whole file; it holds no copy of the lexicon.
//
// Loading never creates anything. A file that is read but does not decode
// is moved aside at once (as "personal-lexicon.json.unreadable-<UTC
// time>"), so a file from a newer version or with one damaged entry is
// never lost to a later save; saving writes atomically, and first moves
// aside whatever this store has not read at the path. A save may also keep
// a copy of the file it replaces. Each copy is reported once
// (takeSetAsideFiles()), for the user to be told where it is.
//
// Loading and saving are virtual so that tests can hold or refuse them.
class PersonalLexiconStore {
public:
    static constexpr const char *lexiconFileName = "personal-lexicon.json";

    // What a save does with the file it replaces. The save of a load that
    // dropped entries keeps the file as it was, as
    // "personal-lexicon.json.before-cleanup-<UTC time>", so that what was
    // dropped can be found.
    enum class PreviousFile { replace, keepCopy };

    // A copy of the lexicon file this store left beside it.
    struct SetAsideFile {
        enum class Why {
            // Moved by a load: it does not decode.
            undecodable,
            // Moved by a save: it does not decode, or was never read.
            unread,
            // Copied by a save that was asked to keep it.
            kept,
        };
        Why why;
        QString path;
        bool operator==(const SetAsideFile &other) const = default;
    };

    // `baseDirectory` replaces the data folder (used as is, nothing moved
    // into it); without it the data folder is resolved for every call,
    // moving a former folder into place first.
    explicit PersonalLexiconStore(std::optional<QString> baseDirectory = std::nullopt);
    virtual ~PersonalLexiconStore();
    PersonalLexiconStore(const PersonalLexiconStore &) = delete;
    PersonalLexiconStore &operator=(const PersonalLexiconStore &) = delete;

    // The stored lexicon, or the empty one when there is no file. Throws
    // DataFolderError, PersonalLexiconStoreError or LexiconDecodingError.
    virtual QCoro::Task<PersonalLexiconSnapshot> loadSnapshot();
    // Writes the snapshot and returns it unchanged. Throws DataFolderError
    // or PersonalLexiconStoreError; the previous file then stays intact.
    virtual QCoro::Task<PersonalLexiconSnapshot> saveSnapshot(PersonalLexiconSnapshot snapshot,
                                                              PreviousFile previous);
    QCoro::Task<PersonalLexiconSnapshot> saveSnapshot(PersonalLexiconSnapshot snapshot) {
        return saveSnapshot(std::move(snapshot), PreviousFile::replace);
    }

    // The copies left since the last call, oldest first. Any thread.
    QList<SetAsideFile> takeSetAsideFiles();

    // Load, change and save in one step of the actor.
    QCoro::Task<PersonalLexiconSnapshot>
    update(std::function<void(PersonalLexiconSnapshot &)> mutation);
    // Replaces the entry with the same id, or appends it.
    QCoro::Task<PersonalLexiconSnapshot> upsert(PersonalLexiconEntry entry);
    QCoro::Task<PersonalLexiconSnapshot> deleteEntry(QUuid id);
    // Switches the entry on or off and stamps `now` as its update time.
    QCoro::Task<PersonalLexiconSnapshot> setEntryEnabled(QUuid id, bool isEnabled, QDateTime now);
    QCoro::Task<QString> fileURL();

private:
    // These run on the executor's thread.
    QString dataFolder() const;
    QString lexiconFilePath() const;
    PersonalLexiconSnapshot load();
    PersonalLexiconSnapshot save(const PersonalLexiconSnapshot &snapshot,
                                 PreviousFile previous = PreviousFile::replace);
    void noteSetAside(SetAsideFile::Why why, const std::optional<QString> &path);

    const std::optional<QString> m_baseDirectory;
    // Checked before it is overwritten, so an unreadable file is kept.
    GuardedDataFile m_file;
    // Written on the executor, taken on the GUI thread.
    std::mutex m_setAsideMutex;
    QList<SetAsideFile> m_setAsideFiles;
    // Last: destroying it waits for queued work that uses the members above.
    SerialExecutor m_executor;
};

} // namespace tovalit
