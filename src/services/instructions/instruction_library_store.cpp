#include "services/instructions/instruction_library_store.h"

#include "models/instruction_library_catalog.h"
#include "services/instructions/instruction_library_store_error.h"
#include "support/data_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tovalit {

namespace {

using StoreError = InstructionLibraryStoreError;

bool exists(const QString &path) {
    // A dangling symlink still occupies the name.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QByteArray readWhole(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw StoreError(StoreError::Kind::ReadFailed, file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw StoreError(StoreError::Kind::ReadFailed, file.errorString());
    return bytes;
}

// "<path>.unreadable-20260307T010501Z", with a counter when that is taken.
QString setAsidePath(const QString &path) {
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = path + QStringLiteral(".unreadable-") + stamp;
    QString candidate = base;
    for (int counter = 2; exists(candidate); ++counter)
        candidate = base + u'-' + QString::number(counter);
    return candidate;
}

InstructionLibrarySnapshot reconciled(InstructionLibrarySnapshot snapshot) {
    snapshot.reconcileBuiltinTemplatePack(InstructionLibraryCatalog::defaultBuiltinTemplatePack());
    return snapshot;
}

} // namespace

InstructionLibraryStore::InstructionLibraryStore(std::optional<QString> baseDirectory)
    : m_baseDirectory(std::move(baseDirectory))
    , m_executor(QStringLiteral("InstructionLibraryStore")) {}

InstructionLibraryStore::~InstructionLibraryStore() = default;

QCoro::Task<InstructionLibrarySnapshot> InstructionLibraryStore::loadSnapshot() {
    return m_executor.run([this] { return load(); });
}

QCoro::Task<InstructionLibrarySnapshot>
InstructionLibraryStore::saveSnapshot(InstructionLibrarySnapshot snapshot) {
    return m_executor.run(
        [this, snapshot = std::move(snapshot)]() mutable { return save(std::move(snapshot)); });
}

QCoro::Task<InstructionLibrarySnapshot>
InstructionLibraryStore::update(std::function<void(InstructionLibrarySnapshot &)> transform) {
    return m_executor.run([this, transform = std::move(transform)] {
        InstructionLibrarySnapshot snapshot = load();
        transform(snapshot);
        return save(std::move(snapshot));
    });
}

QString InstructionLibraryStore::appSupportDirectory() const {
    return m_baseDirectory ? *m_baseDirectory : DataFolder::ensure();
}

QString InstructionLibraryStore::libraryFilePath() const {
    return appSupportDirectory() + u'/' + QLatin1String(libraryFileName);
}

std::optional<InstructionLibraryStore::FileStamp>
InstructionLibraryStore::stampOf(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    return FileStamp{path, info.size(), info.lastModified()};
}

InstructionLibrarySnapshot InstructionLibraryStore::load() {
    const QString path = libraryFilePath();
    if (!exists(path))
        return InstructionLibraryCatalog::defaultSnapshot({});
    m_verified.reset();
    const auto stamp = stampOf(path);
    InstructionLibrarySnapshot snapshot =
        reconciled(InstructionLibrarySnapshot::fromFileBytes(readWhole(path)));
    m_verified = stamp;
    return snapshot;
}

void InstructionLibraryStore::setAsideIfUnreadable(const QString &path) {
    if (!exists(path))
        return;
    // Unchanged since this store read or wrote it: known to be good, and
    // not worth decoding again on every save.
    if (m_verified && stampOf(path) == m_verified)
        return;
    try {
        InstructionLibrarySnapshot::fromFileBytes(readWhole(path));
        return;
    } catch (const AppError &) {
        // Unreadable or undecodable: keep it for the user, out of the way.
    }
    const QString aside = setAsidePath(path);
    if (!QFile::rename(path, aside))
        throw StoreError(StoreError::Kind::SetAsideFailed, QDir::toNativeSeparators(path));
}

InstructionLibrarySnapshot InstructionLibraryStore::save(InstructionLibrarySnapshot snapshot) {
    const QString folder = appSupportDirectory();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw DataFolderError(DataFolderError::Kind::CreateFailed, folder);
    const QString path = folder + u'/' + QLatin1String(libraryFileName);
    snapshot = reconciled(std::move(snapshot));
    const QByteArray bytes = snapshot.toFileBytes();
    setAsideIfUnreadable(path);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw StoreError(StoreError::Kind::WriteFailed, file.errorString());
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw StoreError(StoreError::Kind::WriteFailed, file.errorString());
    m_verified = stampOf(path);
    return snapshot;
}

} // namespace tovalit
