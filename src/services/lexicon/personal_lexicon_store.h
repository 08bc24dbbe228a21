#pragma once

#include "models/personal_lexicon_snapshot.h"
#include "support/clock.h"
#include "support/guarded_data_file.h"
#include "support/serial_executor.h"
#include "support/set_aside_copies.h"
#include "support/sleeper.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tovalit {

// Keeps the whole personal lexicon in "personal-lexicon.json" in the data
// folder. An actor: calls run one at a time on its own thread, each reading
// or replacing the whole file; it holds no copy of the lexicon.
//
// Loading never creates anything. A file that is read but does not decode
// is read again after short waits while another program may still be
// writing it (modified moments ago), then moved aside (as
// "personal-lexicon.json.unreadable-<UTC time>"), so a file from a newer version or with one
// damaged entry is never lost to a later save; saving writes atomically, and first moves aside
// whatever this store has not read at the path. A file another writer changed since this store last
// read or wrote it keeps that change: the save's own changes are applied on top of it, entry by
// entry, and an entry both changed is saved as the save has it, with the other writer's file kept
// beside it. A save may also keep a copy of the file it replaces. Each copy is reported once
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

    // Why a copy of the lexicon file sits beside it.
    enum class SetAsideWhy {
        // Moved by a load: it does not decode.
        undecodable,
        // Moved by a save: it does not decode, or was never read.
        unread,
        // Copied by a save that was asked to keep it.
        kept,
        // Copied by a save: another writer changed an entry the save
        // changed too, and this is its version.
        conflict,
    };
    // A copy of the lexicon file this store left beside it.
    using SetAsideFile = SetAsideCopy<SetAsideWhy>;

    // `baseDirectory` replaces the data folder (used as is, nothing moved
    // into it); without it the data folder is resolved for every call,
    // moving a former folder into place first. A load or a save waits with
    // `sleeper` and tells a file's age by `clock` (the system's when empty).
    explicit PersonalLexiconStore(std::optional<QString> baseDirectory = std::nullopt,
                                  Sleeper sleeper = {}, Clock clock = {});
    virtual ~PersonalLexiconStore();
    PersonalLexiconStore(const PersonalLexiconStore &) = delete;
    PersonalLexiconStore &operator=(const PersonalLexiconStore &) = delete;

    // The stored lexicon, or the empty one when there is no file. Throws
    // DataFolderError, PersonalLexiconStoreError or LexiconDecodingError.
    virtual QCoro::Task<PersonalLexiconSnapshot> loadSnapshot();
    // Writes the snapshot and returns it unchanged, or as merged onto
    // another writer's change. Throws DataFolderError or
    // PersonalLexiconStoreError; the previous file then stays intact.
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
    // The copies of a lexicon file that could not be read, sitting beside
    // it as "personal-lexicon.json.unreadable-<UTC time>", oldest first.
    // Copies kept for other reasons hold nothing the lexicon lacks.
    QCoro::Task<QStringList> unreadableCopies();

private:
    // These run on the executor's thread.
    QString dataFolder() const;
    QString lexiconFilePath() const;
    PersonalLexiconSnapshot load();
    // The stored lexicon; nothing, rather than setting the file aside, when
    // it does not decode and `mayReadAgain` while another program may
    // still be writing it.
    std::optional<PersonalLexiconSnapshot> read(bool mayReadAgain);
    bool writerMayBeAtWork(const QString &path) const;
    // The file does not decode yet, and another program may still be at it.
    bool beingRewritten() const;
    PersonalLexiconSnapshot save(const PersonalLexiconSnapshot &snapshot,
                                 PreviousFile previous = PreviousFile::replace);

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
