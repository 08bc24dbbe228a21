#include "services/instructions/instruction_library_store.h"

#include "models/instruction_library_catalog.h"
#include "services/instructions/instruction_library_store_error.h"
#include "support/data_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tovalit {

namespace {

using StoreError = InstructionLibraryStoreError;

[[noreturn]] void raiseStoreError(GuardedDataFile::Failure failure, const QString &detail) {
    switch (failure) {
    case GuardedDataFile::Failure::Read:
        throw StoreError(StoreError::Kind::ReadFailed, detail);
    case GuardedDataFile::Failure::Write:
        throw StoreError(StoreError::Kind::WriteFailed, detail);
    case GuardedDataFile::Failure::Unread:
        throw StoreError(StoreError::Kind::NotRead, detail);
    case GuardedDataFile::Failure::SetAside:
        break;
    }
    throw StoreError(StoreError::Kind::SetAsideFailed, detail);
}

bool decodes(const QByteArray &bytes) {
    try {
        InstructionLibrarySnapshot::fromFileBytes(bytes);
        return true;
    } catch (const AppError &) {
        return false;
    }
}

InstructionLibrarySnapshot reconciled(InstructionLibrarySnapshot snapshot) {
    snapshot.reconcileBuiltinTemplatePack(InstructionLibraryCatalog::defaultBuiltinTemplatePack());
    return snapshot;
}

} // namespace

InstructionLibraryStore::InstructionLibraryStore(std::optional<QString> baseDirectory)
    : m_baseDirectory(std::move(baseDirectory))
    , m_file(raiseStoreError, decodes)
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

InstructionLibrarySnapshot InstructionLibraryStore::load() {
    const std::optional<QByteArray> bytes = m_file.read([this] { return libraryFilePath(); });
    if (!bytes)
        return InstructionLibraryCatalog::defaultSnapshot({});
    InstructionLibrarySnapshot snapshot =
        reconciled(InstructionLibrarySnapshot::fromFileBytes(*bytes));
    m_file.markReadDecoded();
    return snapshot;
}

InstructionLibrarySnapshot InstructionLibraryStore::save(InstructionLibrarySnapshot snapshot) {
    const QString folder = appSupportDirectory();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw DataFolderError(DataFolderError::Kind::CreateFailed, folder);
    const QString path = folder + u'/' + QLatin1String(libraryFileName);
    snapshot = reconciled(std::move(snapshot));
    const QByteArray bytes = snapshot.toFileBytes();
    m_file.write(path, bytes);
    return snapshot;
}

} // namespace tovalit
