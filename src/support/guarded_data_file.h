#pragma once

#include "support/app_error.h"
#include "support/data_file_error.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace tovalit {

// One data file that is read whole and written whole and atomically, and is
// never silently overwritten when it cannot be read: before a write replaces
// a file this object has not itself read or written as it stands now, the
// file is checked and, when it does not decode, moved aside as
// "<name>.unreadable-<UTC stamp>" for the user to recover. One that decodes
// was changed by another writer (a hand edit, a sync tool, a second
// instance): with a merge given, what is written is the change of this
// write applied on top of it, not the caller's whole content; where both
// changed the same thing the other writer's file is first kept as
// "<name>.conflict-<UTC stamp>". After a read whose
// bytes did not decode, the first write sets aside whatever is there then,
// even a file that decodes by now. After a read that
// failed, no write replaces the file until a read succeeds: what the file
// holds was never seen, and may read fine later. Every copy it leaves is
// named to its caller (a write's through takeSetAside()), so that the user
// can be told where it is.
//
// Not thread-safe: it belongs to one actor and runs on its executor.
class GuardedDataFile {
public:
    enum class Failure { Read, Write, SetAside, Unread };
    // Throws the owner's own error for a failure; must not return.
    using Raise = std::function<void(Failure failure, const QString &detail)>;
    // True when the bytes decode as the owner's file.
    using Decodes = std::function<bool(const QByteArray &bytes)>;
    struct Merged {
        QByteArray bytes;
        // Both sides changed the same thing and `ours` won there.
        bool conflicted = false;
    };
    // Applies what changed from `base` (nothing: there was no file) to
    // `ours` on top of `theirs`; all three decode.
    using Merge = std::function<Merged(const std::optional<QByteArray> &base,
                                       const QByteArray &theirs, const QByteArray &ours)>;

    // Without a merge, a write replaces a decodable file whole.
    GuardedDataFile(Raise raise, Decodes decodes, Merge merge = {});

    // Throws `Error(kind, detail)`, the store's own DataFileError.
    template <class Error>
    static Raise raisingAs();
    // True when `Snapshot::fromFileBytes` takes the bytes without an error.
    template <class Snapshot>
    static Decodes decodingAs();
    static DataFileError::Kind errorKind(Failure failure);

    // The whole file at the path `locate` gives (which may throw), or
    // nothing when there is none, nor any behind a link there; a path that
    // cannot be looked at is a failed read, never a missing file. Stale
    // temporaries beside it are cleared.
    // The caller decodes it; the file as it was read counts as known good
    // only after markReadDecoded().
    std::optional<QByteArray> read(const std::function<QString()> &locate);
    void markReadDecoded();
    // Moves the file just read, whose bytes did not decode, aside at once;
    // nothing when it cannot be moved, and the next write tries again.
    // Whatever is at the path by the next write was not read either, and
    // goes aside then.
    std::optional<QString> setAsideUndecodedRead();
    // Copies the file at the path (through a link, the file it leads to)
    // beside itself as "<name>.<reason>-<UTC stamp>", before a write that
    // leaves out part of it; nothing when there is no file. Fails with
    // Write when the copy cannot be made whole.
    std::optional<QString> keepCopy(const QString &path, const QString &reason);
    // Sets an undecodable file aside, then replaces the file atomically
    // (through a link, the file it leads to, which is created when missing
    // but never its folder). A file changed by another writer since this
    // object last read or wrote it gets `bytes` merged onto it; a file it
    // has never read is replaced whole. Returns what was written. Fails
    // with Unread after a read that failed.
    QByteArray write(const QString &path, const QByteArray &bytes);

    // True when what is at the path (through a link, the file it leads to)
    // does not decode and was modified less than `withinSeconds` before
    // `now`: another program may be part-way through rewriting it in place
    // (a sync tool, a copy), and a write now would set its work aside
    // unfinished.
    bool midRewrite(const QString &path, const QDateTime &now, double withinSeconds) const;

    // The file a write moved aside since the last call, if any.
    std::optional<QString> takeSetAside();
    // The other writer's file a write kept since the last call, if any.
    std::optional<QString> takeConflictCopy();

    // Anything at the path, a dangling symbolic link included.
    static bool occupied(const QString &path);
    // "<path>.unreadable-20260307T010501Z" (or with another reason), with a
    // counter when that is taken.
    static QString setAsidePath(const QString &path, const QDateTime &now,
                                const QString &reason = QStringLiteral("unreadable"));

private:
    [[noreturn]] void fail(Failure failure, const QString &detail) const;
    // What is at the path and decodes; nothing when there is no file, or
    // when what was there has just been set aside.
    std::optional<QByteArray> decodableContent(const QString &path);
    // `ours` as it goes over `theirs`, the file found at the path.
    QByteArray mergedOnto(const QString &path, const QByteArray &theirs, const QByteArray &ours);
    // Moves the file (the one a link there leads to) aside; nothing when
    // the move fails.
    static std::optional<QString> moveAside(const QString &path);

    Raise m_raise;
    Decodes m_decodes;
    Merge m_merge;
    // What the file held when this object last read (and the caller
    // decoded) or wrote it, nothing for no file; m_hasBase is false before
    // either, and after a read that did not decode.
    bool m_hasBase = false;
    std::optional<QByteArray> m_base;
    std::optional<QByteArray> m_lastRead;
    bool m_unread = false;
    // Bytes were read and not marked decoded since: the next write sets
    // aside whatever is at the path then.
    bool m_readUndecoded = false;
    // The path of the last read that found a file.
    QString m_readPath;
    std::optional<QString> m_setAside;
    std::optional<QString> m_conflictCopy;
};

template <class Error>
GuardedDataFile::Raise GuardedDataFile::raisingAs() {
    return [](Failure failure, const QString &detail) { throw Error(errorKind(failure), detail); };
}

template <class Snapshot>
GuardedDataFile::Decodes GuardedDataFile::decodingAs() {
    return [](const QByteArray &bytes) {
        try {
            static_cast<void>(Snapshot::fromFileBytes(bytes));
            return true;
        } catch (const AppError &) {
            return false;
        }
    };
}

} // namespace tovalit
