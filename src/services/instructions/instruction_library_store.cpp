#include "services/instructions/instruction_library_store.h"

#include "models/instruction_library_catalog.h"
#include "services/instructions/instruction_library_store_error.h"
#include "support/data_folder.h"
#include "support/settling_file.h"
#include "support/three_way_merge.h"

#include <QDir>
#include <QFileInfo>

namespace tovalit {

namespace {

InstructionLibrarySnapshot reconciled(InstructionLibrarySnapshot snapshot) {
    snapshot.reconcileBuiltinTemplatePack(InstructionLibraryCatalog::defaultBuiltinTemplatePack());
    return snapshot;
}

// Both lists of entries by their identity; the built-ins' version as a
// whole, ours when we changed it.
GuardedDataFile::Merged merge(const std::optional<QByteArray> &base, const QByteArray &theirs,
                              const QByteArray &ours) {
    const InstructionLibrarySnapshot before =
        base ? InstructionLibrarySnapshot::fromFileBytes(*base) : InstructionLibrarySnapshot{};
    const InstructionLibrarySnapshot their = InstructionLibrarySnapshot::fromFileBytes(theirs);
    const InstructionLibrarySnapshot our = InstructionLibrarySnapshot::fromFileBytes(ours);
    const auto idOf = [](const InstructionLibraryEntry &entry) { return entry.id(); };
    const auto builtins = threewaymerge::mergeById(before.builtinEntries, their.builtinEntries,
                                                   our.builtinEntries, idOf);
    const auto custom = threewaymerge::mergeById(before.customEntries, their.customEntries,
                                                 our.customEntries, idOf);
    InstructionLibrarySnapshot merged;
    merged.builtinTemplateVersion = threewaymerge::mergeWhole(
        before.builtinTemplateVersion, their.builtinTemplateVersion, our.builtinTemplateVersion);
    merged.builtinEntries = builtins.items;
    merged.customEntries = custom.items;
    return {reconciled(std::move(merged)).toFileBytes(), builtins.conflicted || custom.conflicted};
}

} // namespace

InstructionLibraryStore::InstructionLibraryStore(std::optional<QString> baseDirectory,
                                                 Sleeper sleeper, Clock clock)
    : m_baseDirectory(std::move(baseDirectory))
    , m_sleeper(sleeper ? std::move(sleeper) : systemSleeper())
    , m_clock(clock ? std::move(clock) : systemClock())
    , m_file(GuardedDataFile::raisingAs<InstructionLibraryStoreError>(),
             GuardedDataFile::decodingAs<InstructionLibrarySnapshot>(), merge)
    , m_executor(QStringLiteral("InstructionLibraryStore")) {}

InstructionLibraryStore::~InstructionLibraryStore() = default;

QList<InstructionLibraryStore::SetAsideFile> InstructionLibraryStore::takeSetAsideFiles() {
    return m_setAside.take();
}

QCoro::Task<InstructionLibrarySnapshot> InstructionLibraryStore::loadSnapshot() {
    return m_executor.run([this] { return load(); });
}

// Not a coroutine: GCC 12 miscompiles capturing lambdas inside coroutine
// bodies.
QCoro::Task<InstructionLibrarySnapshot>
InstructionLibraryStore::saveSnapshot(InstructionLibrarySnapshot snapshot) {
    // A file another program is still rewriting in place would go aside
    // with only part of its change. Once it is whole, the save goes on top
    // of it.
    return settlingfile::onceSettled<InstructionLibrarySnapshot>(
        m_sleeper,
        [this, snapshot] {
            return m_executor.run([this, snapshot]() -> std::optional<InstructionLibrarySnapshot> {
                if (beingRewritten())
                    return std::nullopt;
                return save(snapshot);
            });
        },
        [this, snapshot] { return m_executor.run([this, snapshot] { return save(snapshot); }); });
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

bool InstructionLibraryStore::beingRewritten() const {
    return m_file.midRewrite(libraryFilePath(), m_clock(), settlingfile::writerAtWorkSeconds);
}

InstructionLibrarySnapshot InstructionLibraryStore::save(InstructionLibrarySnapshot snapshot) {
    const QString folder = appSupportDirectory();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw DataFolderError(DataFolderError::Kind::CreateFailed, folder);
    const QString path = folder + u'/' + QLatin1String(libraryFileName);
    snapshot = reconciled(std::move(snapshot));
    const QByteArray bytes = snapshot.toFileBytes();
    const QByteArray written = m_setAside.write(m_file, path, bytes);
    // Merged onto another writer's change: what the file holds now.
    return written == bytes ? snapshot
                            : reconciled(InstructionLibrarySnapshot::fromFileBytes(written));
}

} // namespace tovalit
