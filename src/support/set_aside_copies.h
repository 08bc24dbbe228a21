#pragma once

#include "support/guarded_data_file.h"

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>

#include <mutex>
#include <optional>
#include <utility>

namespace tovalit {

// A copy of a data file that its store left beside it, and why.
template <class Reason>
struct SetAsideCopy {
    using Why = Reason;
    Why why;
    QString path;
    bool operator==(const SetAsideCopy &other) const = default;
};

// The copies a store left beside its data file, each to be reported once so
// that the user can be told where it is. Noted on the store's executor,
// taken from any thread. `Why` names at least `unread` (a save moved the
// file aside) and `conflict` (a save kept the other writer's version).
template <class Why>
class SetAsideCopies {
public:
    using Copy = SetAsideCopy<Why>;

    void note(Why why, const std::optional<QString> &path) {
        if (!path)
            return;
        std::lock_guard lock(m_mutex);
        m_copies.append(Copy{why, QDir::toNativeSeparators(*path)});
    }

    // The copies noted since the last call, oldest first.
    QList<Copy> take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_copies, {});
    }

    // GuardedDataFile::write, noting the copies it left whether it
    // succeeded or not: a write that failed may have moved the file aside.
    QByteArray write(GuardedDataFile &file, const QString &path, const QByteArray &bytes) {
        QByteArray written;
        try {
            written = file.write(path, bytes);
        } catch (...) {
            noteCopiesOfWrite(file);
            throw;
        }
        noteCopiesOfWrite(file);
        return written;
    }

private:
    void noteCopiesOfWrite(GuardedDataFile &file) {
        note(Why::unread, file.takeSetAside());
        note(Why::conflict, file.takeConflictCopy());
    }

    std::mutex m_mutex;
    QList<Copy> m_copies;
};

} // namespace tovalit
