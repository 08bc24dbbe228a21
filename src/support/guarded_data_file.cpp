#include "support/guarded_data_file.h"

#include "support/atomic_file.h"
#include "support/path_presence.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace tovalit {

GuardedDataFile::GuardedDataFile(Raise raise, Decodes decodes)
    : m_raise(std::move(raise))
    , m_decodes(std::move(decodes)) {}

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

std::optional<GuardedDataFile::Stamp> GuardedDataFile::stampOf(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    return Stamp{path, info.size(), info.lastModified()};
}

void GuardedDataFile::fail(Failure failure, const QString &detail) const {
    m_raise(failure, detail);
    throw std::logic_error("GuardedDataFile: the raise function returned");
}

std::optional<QByteArray> GuardedDataFile::read(const std::function<QString()> &locate) {
    m_verified.reset();
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
        return std::nullopt;
    }
    if (presence.kind == PathPresence::Kind::unknown)
        fail(Failure::Read, presence.problem);
    // Taken before reading: a change during the read then shows as a
    // different file at the next write.
    m_lastRead = stampOf(path);
    m_readPath = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(Failure::Read, file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(Failure::Read, file.errorString());
    m_unread = false;
    m_readUndecoded = true;
    return bytes;
}

void GuardedDataFile::markReadDecoded() {
    m_verified = std::exchange(m_lastRead, std::nullopt);
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

std::optional<QString> GuardedDataFile::takeSetAside() {
    return std::exchange(m_setAside, std::nullopt);
}

std::optional<QString> GuardedDataFile::moveAside(const QString &path) {
    // The file itself is kept, beside itself: a link to it stays a link.
    const QString target = atomicfile::linkTarget(path);
    const QString aside = setAsidePath(target, QDateTime::currentDateTimeUtc());
    if (!QFile::rename(target, aside))
        return std::nullopt;
    return aside;
}

void GuardedDataFile::setAsideIfUndecodable(const QString &path) {
    const PathPresence presence = PathPresence::of(path, PathPresence::Links::own);
    if (presence.kind == PathPresence::Kind::absent)
        return;
    if (presence.kind == PathPresence::Kind::unknown)
        fail(Failure::Read, presence.problem);
    // A link that leads nowhere holds nothing; the write creates what it
    // leads to.
    if (PathPresence::of(path, PathPresence::Links::follow).kind == PathPresence::Kind::absent)
        return;
    // After a load that did not decode, whatever is there now goes aside,
    // decodable or not: a file caught half-written may have been finished
    // since by its writer, and what we write was made without it.
    if (!m_readUndecoded) {
        // Unchanged since this object read or wrote it: known good, and not
        // worth decoding again on every save.
        if (m_verified && stampOf(path) == m_verified)
            return;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            if (file.error() == QFileDevice::NoError && m_decodes(bytes))
                return;
        }
    }
    m_setAside = moveAside(path);
    if (!m_setAside)
        fail(Failure::SetAside, QDir::toNativeSeparators(path));
}

void GuardedDataFile::write(const QString &path, const QByteArray &bytes) {
    if (m_unread)
        fail(Failure::Unread, QDir::toNativeSeparators(path));
    setAsideIfUndecodable(path);
    if (const auto error = atomicfile::replace(path, bytes)) {
        // Through a link, the file that failed is not the one the user
        // knows by the data folder's name: say which (a synced folder
        // that is gone, say).
        const QString target = atomicfile::linkTarget(path);
        fail(Failure::Write, target == path
                                 ? *error
                                 : QDir::toNativeSeparators(target) + QStringLiteral("（") +
                                       *error + QStringLiteral("）"));
    }
    m_readUndecoded = false;
    m_verified = stampOf(path);
}

} // namespace tovalit
