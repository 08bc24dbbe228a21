#include "support/guarded_data_file.h"

#include "support/atomic_file.h"
#include "support/path_presence.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace tovalit {

GuardedDataFile::GuardedDataFile(Raise raise, Decodes decodes, Merge merge)
    : m_raise(std::move(raise))
    , m_decodes(std::move(decodes))
    , m_merge(std::move(merge)) {}

DataFileError::Kind GuardedDataFile::errorKind(Failure failure) {
    switch (failure) {
    case Failure::Read:
        return DataFileError::Kind::ReadFailed;
    case Failure::Write:
        return DataFileError::Kind::WriteFailed;
    case Failure::Unread:
        return DataFileError::Kind::NotRead;
    case Failure::SetAside:
        break;
    }
    return DataFileError::Kind::SetAsideFailed;
}

bool GuardedDataFile::occupied(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString GuardedDataFile::setAsidePath(const QString &path, const QDateTime &now,
                                      const QString &reason) {
    const QString base =
        path + u'.' + reason + u'-' + now.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString candidate = base;
    for (int counter = 2; occupied(candidate); ++counter)
        candidate = base + u'-' + QString::number(counter);
    return candidate;
}

void GuardedDataFile::fail(Failure failure, const QString &detail) const {
    m_raise(failure, detail);
    throw std::logic_error("GuardedDataFile: the raise function returned");
}

std::optional<QByteArray> GuardedDataFile::read(const std::function<QString()> &locate) {
    m_hasBase = false;
    m_base.reset();
    m_lastRead.reset();
    m_readUndecoded = false;
    // Cleared only once the file is read, or known to be absent.
    m_unread = true;
    const QString path = locate();
    // What a write killed half-way left beside the file; cleared here, so
    // that nothing piles up over the starts.
    atomicfile::removeStaleTemporaries(path);
    // Through links: a link whose file was removed (the synced copy deleted
    // on another machine) holds nothing to lose, and the next write
    // creates that file again through it.
    const PathPresence presence = PathPresence::of(path, PathPresence::Links::follow);
    if (presence.kind == PathPresence::Kind::absent) {
        m_unread = false;
        m_hasBase = true;
        return std::nullopt;
    }
    if (presence.kind == PathPresence::Kind::unknown)
        fail(Failure::Read, presence.problem);
    m_readPath = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(Failure::Read, file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(Failure::Read, file.errorString());
    m_unread = false;
    m_readUndecoded = true;
    m_lastRead = bytes;
    return bytes;
}

void GuardedDataFile::markReadDecoded() {
    if (!m_readUndecoded)
        return;
    m_base = std::exchange(m_lastRead, std::nullopt);
    m_hasBase = true;
    m_readUndecoded = false;
}

std::optional<QString> GuardedDataFile::setAsideUndecodedRead() {
    if (!m_readUndecoded)
        return std::nullopt;
    // m_readUndecoded stays: a file that shows up at the path later was
    // not read either (the user putting a copy back while we run), and the
    // next write keeps it too rather than writing over it unseen.
    return moveAside(m_readPath);
}

std::optional<QString> GuardedDataFile::keepCopy(const QString &path, const QString &reason) {
    if (PathPresence::of(path, PathPresence::Links::follow).kind != PathPresence::Kind::present)
        return std::nullopt;
    const QString target = atomicfile::linkTarget(path);
    const QString copy = setAsidePath(target, QDateTime::currentDateTimeUtc(), reason);
    QFile file(target);
    // QFile::copy writes a temporary and renames it: a copy cut short by a
    // full disk leaves nothing behind.
    if (!file.copy(copy)) {
        fail(Failure::Write, QDir::toNativeSeparators(copy) + QStringLiteral("（") +
                                 file.errorString() + QStringLiteral("）"));
    }
    return copy;
}

bool GuardedDataFile::midRewrite(const QString &path, const QDateTime &now,
                                 double withinSeconds) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || m_decodes(bytes))
        return false;
    const QDateTime modified = QFileInfo(path).lastModified();
    return modified.isValid() && modified.msecsTo(now) < qint64(withinSeconds * 1000);
}

std::optional<QString> GuardedDataFile::takeSetAside() {
    return std::exchange(m_setAside, std::nullopt);
}

std::optional<QString> GuardedDataFile::takeConflictCopy() {
    return std::exchange(m_conflictCopy, std::nullopt);
}

std::optional<QString> GuardedDataFile::moveAside(const QString &path) {
    // The file itself is kept, beside itself: a link to it stays a link.
    const QString target = atomicfile::linkTarget(path);
    const QString aside = setAsidePath(target, QDateTime::currentDateTimeUtc());
    if (!QFile::rename(target, aside))
        return std::nullopt;
    return aside;
}

std::optional<QByteArray> GuardedDataFile::decodableContent(const QString &path) {
    const PathPresence presence = PathPresence::of(path, PathPresence::Links::own);
    if (presence.kind == PathPresence::Kind::absent)
        return std::nullopt;
    if (presence.kind == PathPresence::Kind::unknown)
        fail(Failure::Read, presence.problem);
    // A link that leads nowhere holds nothing; the write creates what it
    // leads to.
    if (PathPresence::of(path, PathPresence::Links::follow).kind == PathPresence::Kind::absent)
        return std::nullopt;
    // After a load that did not decode, whatever is there now goes aside,
    // decodable or not: a file caught half-written may have been finished
    // since by its writer, and what we write was made without it.
    if (!m_readUndecoded) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            QByteArray bytes = file.readAll();
            // As this object left it: known good, not worth decoding again
            // on every save.
            if (file.error() == QFileDevice::NoError &&
                ((m_base && bytes == *m_base) || m_decodes(bytes)))
                return bytes;
        }
    }
    m_setAside = moveAside(path);
    if (!m_setAside)
        fail(Failure::SetAside, QDir::toNativeSeparators(path));
    return std::nullopt;
}

QByteArray GuardedDataFile::mergedOnto(const QString &path, const QByteArray &theirs,
                                       const QByteArray &ours) {
    // Never read: the caller means its content whole (a first save, a
    // tool's), and has nothing to tell its own changes by.
    if (!m_merge || !m_hasBase || (m_base && theirs == *m_base))
        return ours;
    Merged merged = m_merge(m_base, theirs, ours);
    if (merged.conflicted) {
        // The other writer's version of what both changed stays findable
        // beside the file, whole, before ours takes its place.
        m_conflictCopy = keepCopy(path, QStringLiteral("conflict"));
    }
    return std::move(merged.bytes);
}

QByteArray GuardedDataFile::write(const QString &path, const QByteArray &bytes) {
    if (m_unread)
        fail(Failure::Unread, QDir::toNativeSeparators(path));
    // Another writer coming in between the merge and the rename would be
    // replaced unseen: the rename waits for a file that is still the one
    // merged onto, and the merge is made again onto a newer one.
    static constexpr int attempts = 5;
    for (int attempt = 1;; ++attempt) {
        const std::optional<QByteArray> found = decodableContent(path);
        const QByteArray written = found ? mergedOnto(path, *found, bytes) : bytes;
        bool changedMeanwhile = false;
        const auto stillFound = [&]() -> std::optional<QString> {
            QFile file(path);
            const bool present = file.open(QIODevice::ReadOnly);
            if (present == found.has_value() && (!present || file.readAll() == *found))
                return std::nullopt;
            changedMeanwhile = true;
            return QStringLiteral("文件在保存时被其他程序改动");
        };
        const auto error = atomicfile::replace(path, written, stillFound);
        if (!error) {
            m_readUndecoded = false;
            m_hasBase = true;
            m_base = written;
            return written;
        }
        if (changedMeanwhile && attempt < attempts)
            continue;
        // Through a link, the file that failed is not the one the user
        // knows by the data folder's name: say which (a synced folder
        // that is gone, say).
        const QString target = atomicfile::linkTarget(path);
        fail(Failure::Write, target == path
                                 ? *error
                                 : QDir::toNativeSeparators(target) + QStringLiteral("（") +
                                       *error + QStringLiteral("）"));
    }
}

} // namespace tovalit
