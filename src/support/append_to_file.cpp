#include "support/append_to_file.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tovalit {

bool appendToFile(const QString &path, const QByteArray &bytes, int permissions) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, permissions);
    if (fd < 0)
        return false;
    bool ok = true;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t result =
            ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (result < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        written += result;
    }
    return ::close(fd) == 0 && ok;
}

} // namespace tovalit
