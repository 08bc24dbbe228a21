#include "support/data_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

namespace tovalit {

DataFolderError::DataFolderError(Kind kind, QString path)
    : m_kind(kind)
    , m_path(std::move(path)) {}

QString DataFolderError::localizedDescription() const {
    switch (m_kind) {
    case Kind::NoDataLocation:
        return QStringLiteral("找不到用户数据文件夹。");
    case Kind::MoveFailed:
        return joinedWithDetail(QStringLiteral("无法迁移旧的数据文件夹"), m_path);
    case Kind::CreateFailed:
        return joinedWithDetail(QStringLiteral("无法创建数据文件夹"), m_path);
    }
    return {};
}

const QStringList &DataFolder::formerFolderNames() {
    static const QStringList names{QStringLiteral("Quendor"), QStringLiteral("VellupTranscriber")};
    return names;
}

namespace {

// One resolver at a time, so two threads never race the move.
std::mutex resolveMutex;

bool exists(const QString &path) {
    // A dangling symlink still occupies the name.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

} // namespace

QString DataFolder::resolve() {
    const QString root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (root.isEmpty())
        throw DataFolderError(DataFolderError::Kind::NoDataLocation, {});
    const QString target = root + u'/' + QLatin1String(productFolderName);

    std::lock_guard lock(resolveMutex);
    if (exists(target))
        return target;
    for (const QString &name : formerFolderNames()) {
        const QString former = root + u'/' + name;
        if (!exists(former))
            continue;
        // Only the first former folder found is considered, moved or not.
        if (!QDir().rename(former, target))
            throw DataFolderError(DataFolderError::Kind::MoveFailed, former);
        break;
    }
    return target;
}

QString DataFolder::ensure() {
    const QString path = resolve();
    if (!QFileInfo(path).isDir() && !QDir().mkpath(path))
        throw DataFolderError(DataFolderError::Kind::CreateFailed, path);
    return path;
}

QString DataFolder::ensureSubfolder(const QString &name) {
    const QString path = ensure() + u'/' + name;
    if (!QFileInfo(path).isDir() && !QDir().mkpath(path))
        throw DataFolderError(DataFolderError::Kind::CreateFailed, path);
    return path;
}

} // namespace tovalit
