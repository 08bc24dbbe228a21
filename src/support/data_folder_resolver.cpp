#include "support/data_folder_resolver.h"

#include "support/data_folder.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

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
    if (const auto kept = m_keptFormerFolders.constFind(root); kept != m_keptFormerFolders.cend())
        return exists(*kept) ? *kept : target;
    for (const QString &name : DataFolder::formerFolderNames()) {
        const QString former = root + u'/' + name;
        if (!exists(former))
            continue;
        // Only the first former folder found is considered, moved or not.
        const std::optional<QString> problem = m_move(former, target);
        if (!problem)
            return target;
        m_keptFormerFolders.insert(root, former);
        m_moveNotice = QStringLiteral("无法迁移旧的数据文件夹（") + *problem +
                       QStringLiteral("），本次继续使用原来的位置：") + former +
                       QStringLiteral("。下次启动时会再试一次。");
        return former;
    }
    return target;
}

std::optional<QString> DataFolderResolver::takeMoveNotice() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_moveNotice, std::nullopt);
}

} // namespace tovalit
