#include "tests/support/small_tmpfs.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace tovalit::testing {

namespace {

const char fillerName[] = "/.filler";

} // namespace

SmallTmpfs::SmallTmpfs(int kilobytes) {
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0700";
    if (::mount("tmpfs", QFile::encodeName(m_folder.path()).constData(), "tmpfs",
                MS_NOSUID | MS_NODEV | MS_NOEXEC, options.constData()) != 0) {
        m_error = QStringLiteral("mounting a tmpfs needs root: ") +
                  QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
}

SmallTmpfs::~SmallTmpfs() {
    // Detached, so that a file still open somewhere cannot keep it mounted.
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder.path()).constData(), MNT_DETACH);
}

void SmallTmpfs::fill() {
    const QByteArray path = QFile::encodeName(m_folder.path() + QLatin1String(fillerName));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray block(4096, 'f');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    // The last partial page too.
    while (::write(fd, block.constData(), 1) > 0) {
    }
    ::close(fd);
}

void SmallTmpfs::release() {
    QFile::remove(m_folder.path() + QLatin1String(fillerName));
}

} // namespace tovalit::testing
