#include "support/data_folder.h"

#include "support/data_folder_resolver.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tovalit {

DataFolderError::DataFolderError(Kind kind, QString path)
    : m_kind(kind)
    , m_path(std::move(path)) {}

QString DataFolderError::localizedDescription() const {
    switch (m_kind) {
    case Kind::NoDataLocation:
        return QStringLiteral("找不到用户数据文件夹。");
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

DataFolderResolver &processResolver() {
    static DataFolderResolver resolver(&DataFolderResolver::renameFolder);
    return resolver;
}

} // namespace

QString DataFolder::resolve() {
    const QString root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (root.isEmpty())
        throw DataFolderError(DataFolderError::Kind::NoDataLocation, {});
    return processResolver().resolve(root);
}

std::optional<QString> DataFolder::takeMoveNotice() {
    return processResolver().takeMoveNotice();
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
