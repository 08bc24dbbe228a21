#include "support/data_folder_resolver.h"

#include "support/data_folder.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace tovalit {

namespace {

bool exists(const QString &path) {
    // A dangling symlink still occupies the name.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

} // namespace

DataFolderResolver::DataFolderResolver(FolderMove move)
    : m_move(std::move(move)) {}

std::optional<QString> DataFolderResolver::renameFolder(const QString &from, const QString &to) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return std::nullopt;
    return QString::fromStdString(std::system_category().message(errno));
}

QString DataFolderResolver::resolve(const QString &root) {
    const QString target = root + u'/' + QLatin1String(DataFolder::productFolderName);
    // One decision at a time, so two threads never race the move.
    std::lock_guard lock(m_mutex);
    if (exists(target))
        return target;
    for (const QString &name : DataFolder::formerFolderNames()) {
        const QString former = root + u'/' + name;
        if (!exists(former))
            continue;
        // Only the first former folder found is considered, moved or not.
        if (m_move(former, target))
            throw DataFolderError(DataFolderError::Kind::MoveFailed, former);
        break;
    }
    return target;
}

} // namespace tovalit
