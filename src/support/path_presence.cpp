#include "support/path_presence.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <system_error>

namespace tovalit {

PathPresence PathPresence::of(const QString &path, Links links) {
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    const int result = links == Links::own ? ::lstat(name.constData(), &status)
                                           : ::stat(name.constData(), &status);
    if (result == 0)
        return {Kind::present, {}};
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR)
        return {Kind::absent, {}};
    return {Kind::unknown, QString::fromStdString(std::system_category().message(error))};
}

} // namespace tovalit
