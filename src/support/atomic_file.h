#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Whole-file replacement that a crash, a kill or a full disk at any moment
// leaves as either the old file or the new one, never a mixture.
//
// The new content is written to a hidden temporary beside the file
// (".<name>.saving-<random>"), flushed to the disk and renamed over the
// file. The writer holds an exclusive flock(2) on its temporary from
// creation to rename: the lock is what tells a temporary whose writer
// died (the kernel drops the lock with the process) from one that a live
// process, this one or another, is still writing.
namespace tovalit::atomicfile {

// Replaces the file at `path` with `bytes`, keeping the permissions of the
// file it replaces. When `path` is a symbolic link, the file it leads to is
// replaced (or created) and the link stays. Nothing on success; the system's reason otherwise
// ("No space left on device"), with the old file untouched and no
// temporary left behind.
std::optional<QString> replace(const QString &path, const QByteArray &bytes);
// The same, asking `stillCurrent` once the new content is on the disk,
// just before it takes the file's place: its answer (the reason the file
// must not be replaced now) stops the replacement and is returned, with
// the old file untouched and no temporary left behind.
std::optional<QString> replace(const QString &path, const QByteArray &bytes,
                               const std::function<std::optional<QString>()> &stillCurrent);

// Where `path` leads through symbolic links, followed one by one; `path`
// itself when it is no link. A link that leads nowhere gives the name it
// leads to; a loop gives where the following stopped.
QString linkTarget(const QString &path);

// True for a name that replace() gives its temporaries.
bool isTemporaryName(const QString &name);
// True for a temporary of the file named `fileName`.
bool isTemporaryNameOf(const QString &name, const QString &fileName);

// Removes the temporaries of `path` (beside the file it leads to, when it
// is a link) whose writer is gone: a save killed
// half-way leaves one. A temporary that a live writer still holds is left
// alone, as is anything that is not a regular file.
void removeStaleTemporaries(const QString &path);
// The same for the listed temporaries (names in `folder`, as found by a
// listing the caller made anyway).
void removeStaleTemporaries(const QString &folder, const QStringList &temporaryNames);

} // namespace tovalit::atomicfile
