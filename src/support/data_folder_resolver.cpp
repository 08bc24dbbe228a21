#include "support/data_folder_resolver.h"

#include "support/data_folder.h"
#include "support/path_presence.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

namespace tovalit {

namespace {

// A dangling symlink still occupies the name; a name that cannot be looked
// at (a loop of links, a folder on the way not reachable yet) is not known
// to be free.
PathPresence::Kind presenceOf(const QString &path) {
    return PathPresence::of(path, PathPresence::Links::own).kind;
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
    const PathPresence::Kind targetPresence = presenceOf(target);
    if (targetPresence == PathPresence::Kind::present)
        return target;
    if (const auto kept = m_keptFormerFolders.constFind(root); kept != m_keptFormerFolders.cend())
        return presenceOf(*kept) != PathPresence::Kind::absent ? *kept : target;
    // Nothing is moved into a place that cannot be looked at: whatever is
    // there would be replaced unseen.
    if (targetPresence == PathPresence::Kind::unknown)
        return target;
    for (const QString &name : DataFolder::formerFolderNames()) {
        const QString former = root + u'/' + name;
        const PathPresence presence = PathPresence::of(former, PathPresence::Links::own);
        if (presence.kind == PathPresence::Kind::absent)
            continue;
        // Only the first former folder found is considered, moved or not;
        // one that cannot be looked at stays where it is, like one that
        // cannot be moved.
        const std::optional<QString> problem = presence.kind == PathPresence::Kind::unknown
                                                   ? presence.problem
                                                   : m_move(former, target);
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
