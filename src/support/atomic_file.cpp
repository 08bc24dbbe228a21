#include "support/atomic_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovalit::atomicfile {

namespace {

constexpr QLatin1StringView marker(".saving-");
constexpr int randomLength = 10;

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

QString randomSuffix() {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // From the system's source on every call: processes forked from one
    // parent would otherwise all draw the same names.
    quint64 bits = QRandomGenerator::system()->generate64();
    QString suffix;
    suffix.reserve(randomLength);
    for (int index = 0; index < randomLength; ++index, bits /= 62)
        suffix.append(QLatin1Char(alphabet[bits % 62]));
    return suffix;
}

bool isAsciiAlphanumeric(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

// The file name inside a temporary's name, or nothing for any other name.
std::optional<QStringView> targetOf(QStringView name) {
    const qsizetype fixed = 1 + marker.size() + randomLength;
    if (name.size() <= fixed || name.front() != u'.')
        return std::nullopt;
    const QStringView random = name.last(randomLength);
    for (const QChar c : random) {
        if (!isAsciiAlphanumeric(c))
            return std::nullopt;
    }
    if (name.chopped(randomLength).last(marker.size()) != marker)
        return std::nullopt;
    return name.sliced(1, name.size() - fixed);
}

bool sameFile(int fd, const QByteArray &path) {
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) != 0 || ::lstat(path.constData(), &named) != 0)
        return false;
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

int lockExclusively(int fd, int extraFlags) {
    int status;
    do {
        status = ::flock(fd, LOCK_EX | extraFlags);
    } while (status != 0 && errno == EINTR);
    return status;
}

bool writeAll(int fd, const QByteArray &bytes) {
    const char *next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

// A temporary of our own, locked and still in place. Another process's
// clean-up may open a fresh temporary before we hold its lock, find it
// unlocked and remove it; the name check after locking catches that.
struct Temporary {
    int fd = -1;
    QByteArray path;
};

std::optional<Temporary> createTemporary(const QString &folder, const QString &fileName,
                                         mode_t mode, int &error) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray path =
            QFile::encodeName(folder + u"/." + fileName + marker + randomSuffix());
        const int fd =
            ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            error = errno;
            return std::nullopt;
        }
        // A file system without locks still gets atomic saves; only the
        // clean-up of what a killed save left then leaves its temporaries.
        if (lockExclusively(fd, 0) != 0 || sameFile(fd, path))
            return Temporary{fd, path};
        ::close(fd);
    }
    error = EEXIST;
    return std::nullopt;
}

} // namespace

QString linkTarget(const QString &path) {
    QString current = path;
    // As many links as the system itself follows in one name.
    for (int hops = 0; hops < 40; ++hops) {
        const QByteArray name = QFile::encodeName(current);
        struct stat status {};
        if (::lstat(name.constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return current;
        QByteArray target(qsizetype(status.st_size > 0 ? status.st_size : PATH_MAX) + 1, '\0');
        const ssize_t length = ::readlink(name.constData(), target.data(), size_t(target.size()));
        if (length < 0 || length >= target.size())
            return current;
        target.truncate(length);
        const QString next = QFile::decodeName(target);
        current = next.startsWith(u'/') ? next : QFileInfo(current).path() + u'/' + next;
    }
    return current;
}

std::optional<QString> replace(const QString &linkedPath, const QByteArray &bytes) {
    return replace(linkedPath, bytes, {});
}

std::optional<QString> replace(const QString &linkedPath, const QByteArray &bytes,
                               const std::function<std::optional<QString>()> &stillCurrent) {
    // A data file kept elsewhere (in a synced folder) through a link keeps
    // its link: the file it leads to is replaced, from beside it, as a
    // rename must stay on one file system.
    const QString path = linkTarget(linkedPath);
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(path);
    // The new file gets the old one's permissions, from the start: a
    // private file is never readable by others, not even half-written.
    struct stat existing {};
    // Links that go on past the system's limit lead nowhere to write.
    if (::lstat(target.constData(), &existing) == 0 && S_ISLNK(existing.st_mode))
        return systemError(ELOOP);
    const bool replacing = ::stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    int error = 0;
    const auto temporary = createTemporary(info.path(), info.fileName(),
                                           replacing ? existing.st_mode & 0777 : 0666, error);
    if (!temporary)
        return systemError(error);

    const auto fail = [&](int code) -> std::optional<QString> {
        ::unlink(temporary->path.constData());
        ::close(temporary->fd);
        return systemError(code);
    };
    if (!writeAll(temporary->fd, bytes))
        return fail(errno);
    // Flushed before the rename, so that after a power cut the name never
    // leads to a file whose blocks were not written yet.
    if (::fdatasync(temporary->fd) != 0)
        return fail(errno);
    if (replacing)
        ::fchmod(temporary->fd, existing.st_mode & 07777);
    if (stillCurrent) {
        if (std::optional<QString> reason = stillCurrent()) {
            ::unlink(temporary->path.constData());
            ::close(temporary->fd);
            return reason;
        }
    }
    if (::rename(temporary->path.constData(), target.constData()) != 0)
        return fail(errno);
    // The content is on the disk already: what close() could still report
    // does not undo the replacement.
    ::close(temporary->fd);
    return std::nullopt;
}

bool isTemporaryName(const QString &name) {
    return targetOf(name).has_value();
}

bool isTemporaryNameOf(const QString &name, const QString &fileName) {
    const auto target = targetOf(name);
    return target && *target == fileName;
}

void removeStaleTemporaries(const QString &path) {
    const QFileInfo info(linkTarget(path));
    const QString fileName = info.fileName();
    DIR *directory = ::opendir(QFile::encodeName(info.path()).constData());
    if (!directory)
        return;
    QStringList names;
    while (const dirent *entry = ::readdir(directory)) {
        if (entry->d_name[0] != '.')
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (isTemporaryNameOf(name, fileName))
            names.append(name);
    }
    ::closedir(directory);
    removeStaleTemporaries(info.path(), names);
}

void removeStaleTemporaries(const QString &folder, const QStringList &temporaryNames) {
    for (const QString &name : temporaryNames) {
        if (!isTemporaryName(name))
            continue;
        const QByteArray path = QFile::encodeName(folder + u'/' + name);
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat opened {};
        // Locked means a live writer; a lock refused for any other reason
        // (no locks on this file system) proves nothing, so the file stays.
        // Once locked, the name must still be this file: a writer that
        // finished has renamed it away.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            lockExclusively(fd, LOCK_NB) == 0 && sameFile(fd, path))
            ::unlink(path.constData());
        ::close(fd);
    }
}

} // namespace tovalit::atomicfile
