#include "services/lexicon/personal_lexicon_store.h"

#include "models/lexicon_decoding_error.h"
#include "services/lexicon/personal_lexicon_store_error.h"
#include "support/data_folder.h"
#include "support/settling_file.h"
#include "support/three_way_merge.h"

#include <QDir>
#include <QFileInfo>

namespace tovalit {

namespace {

// Entries by their identity; the cloud state and the learning bookkeeping
// each as a whole, ours when we changed it.
GuardedDataFile::Merged merge(const std::optional<QByteArray> &base, const QByteArray &theirs,
                              const QByteArray &ours) {
    const PersonalLexiconSnapshot before =
        base ? PersonalLexiconSnapshot::fromFileBytes(*base) : PersonalLexiconSnapshot::empty();
    const PersonalLexiconSnapshot their = PersonalLexiconSnapshot::fromFileBytes(theirs);
    const PersonalLexiconSnapshot our = PersonalLexiconSnapshot::fromFileBytes(ours);
    const auto entries =
        threewaymerge::mergeById(before.entries, their.entries, our.entries,
                                 [](const PersonalLexiconEntry &entry) { return entry.id(); });
    PersonalLexiconSnapshot merged;
    merged.entries = entries.items;
    merged.cloudState =
        threewaymerge::mergeWhole(before.cloudState, their.cloudState, our.cloudState);
    merged.historyLearningState = threewaymerge::mergeWhole(
        before.historyLearningState, their.historyLearningState, our.historyLearningState);
    return {merged.toFileBytes(), entries.conflicted};
}

} // namespace

PersonalLexiconStore::PersonalLexiconStore(std::optional<QString> baseDirectory, Sleeper sleeper,
                                           Clock clock)
    : m_baseDirectory(std::move(baseDirectory))
    , m_sleeper(sleeper ? std::move(sleeper) : systemSleeper())
    , m_clock(clock ? std::move(clock) : systemClock())
    , m_file(GuardedDataFile::raisingAs<PersonalLexiconStoreError>(),
             GuardedDataFile::decodingAs<PersonalLexiconSnapshot>(), merge)
    , m_executor(QStringLiteral("PersonalLexiconStore")) {}

PersonalLexiconStore::~PersonalLexiconStore() = default;

// Not coroutines: GCC 12 miscompiles capturing lambdas inside coroutine
// bodies.
QCoro::Task<PersonalLexiconSnapshot> PersonalLexiconStore::loadSnapshot() {
    // Between the reads the actor is free: a save meanwhile finds the file
    // unread and keeps it.
    return settlingfile::onceSettled<PersonalLexiconSnapshot>(
        m_sleeper, [this] { return m_executor.run([this] { return read(true); }); },
        [this] { return m_executor.run([this] { return load(); }); });
}

QCoro::Task<PersonalLexiconSnapshot>
PersonalLexiconStore::saveSnapshot(PersonalLexiconSnapshot snapshot, PreviousFile previous) {
    // A file another program is still rewriting in place would go aside
    // with only part of its change: its entries would reach the copy, not
    // the lexicon. Once it is whole, the save goes on top of it.
    return settlingfile::onceSettled<PersonalLexiconSnapshot>(
        m_sleeper,
        [this, snapshot, previous] {
            return m_executor.run(
                [this, snapshot, previous]() -> std::optional<PersonalLexiconSnapshot> {
                    if (beingRewritten())
                        return std::nullopt;
                    return save(snapshot, previous);
                });
        },
        [this, snapshot, previous] {
            return m_executor.run([this, snapshot, previous] { return save(snapshot, previous); });
        });
}

QList<PersonalLexiconStore::SetAsideFile> PersonalLexiconStore::takeSetAsideFiles() {
    return m_setAside.take();
}

QCoro::Task<PersonalLexiconSnapshot>
PersonalLexiconStore::update(std::function<void(PersonalLexiconSnapshot &)> mutation) {
    return m_executor.run([this, mutation = std::move(mutation)] {
        PersonalLexiconSnapshot snapshot = load();
        mutation(snapshot);
        return save(snapshot);
    });
}

QCoro::Task<PersonalLexiconSnapshot> PersonalLexiconStore::upsert(PersonalLexiconEntry entry) {
    return update([entry = std::move(entry)](PersonalLexiconSnapshot &snapshot) {
        for (PersonalLexiconEntry &existing : snapshot.entries) {
            if (existing.id() == entry.id()) {
                existing = entry;
                return;
            }
        }
        snapshot.entries.append(entry);
    });
}

QCoro::Task<PersonalLexiconSnapshot> PersonalLexiconStore::deleteEntry(QUuid id) {
    return update([id](PersonalLexiconSnapshot &snapshot) {
        snapshot.entries.removeIf(
            [id](const PersonalLexiconEntry &entry) { return entry.id() == id; });
    });
}

QCoro::Task<PersonalLexiconSnapshot> PersonalLexiconStore::setEntryEnabled(QUuid id, bool isEnabled,
                                                                           QDateTime now) {
    return update([id, isEnabled, now](PersonalLexiconSnapshot &snapshot) {
        for (PersonalLexiconEntry &entry : snapshot.entries) {
            if (entry.id() == id) {
                entry.enabled = isEnabled;
                entry.updatedAt = now;
            }
        }
    });
}

QCoro::Task<QString> PersonalLexiconStore::fileURL() {
    return m_executor.run([this] { return lexiconFilePath(); });
}

QCoro::Task<QStringList> PersonalLexiconStore::unreadableCopies() {
    // On the executor: a data folder on a slow or hung network share holds
    // up this actor, never the window.
    return m_executor.run([this] {
        const QFileInfo file(lexiconFilePath());
        const QDir folder = file.dir();
        QStringList copies;
        for (const QString &name : folder.entryList(
                 {file.fileName() + QStringLiteral(".unreadable-*")}, QDir::Files, QDir::Name))
            copies.append(QDir::toNativeSeparators(folder.filePath(name)));
        return copies;
    });
}

QString PersonalLexiconStore::dataFolder() const {
    return m_baseDirectory ? *m_baseDirectory : DataFolder::resolve();
}

QString PersonalLexiconStore::lexiconFilePath() const {
    return dataFolder() + u'/' + QLatin1String(lexiconFileName);
}

PersonalLexiconSnapshot PersonalLexiconStore::load() {
    return *read(false);
}

std::optional<PersonalLexiconSnapshot> PersonalLexiconStore::read(bool mayReadAgain) {
    const std::optional<QByteArray> bytes = m_file.read([this] { return lexiconFilePath(); });
    if (!bytes)
        return PersonalLexiconSnapshot::empty();
    PersonalLexiconSnapshot snapshot;
    try {
        snapshot = PersonalLexiconSnapshot::fromFileBytes(*bytes);
    } catch (const LexiconDecodingError &) {
        // A sync tool or a copy still writing it in place: its last bytes
        // come in moments.
        if (mayReadAgain && writerMayBeAtWork(lexiconFilePath()))
            return std::nullopt;
        // It will not decode any better later. Moved now rather than at the
        // next save, the user can be told where it is while the lexicon
        // reads empty, not only once something is saved in its place.
        m_setAside.note(SetAsideWhy::undecodable, m_file.setAsideUndecodedRead());
        throw;
    }
    m_file.markReadDecoded();
    return snapshot;
}

bool PersonalLexiconStore::beingRewritten() const {
    return m_file.midRewrite(lexiconFilePath(), m_clock(), settlingfile::writerAtWorkSeconds);
}

bool PersonalLexiconStore::writerMayBeAtWork(const QString &path) const {
    const QDateTime modified = QFileInfo(path).lastModified();
    if (!modified.isValid())
        return false;
    return modified.msecsTo(m_clock()) < qint64(settlingfile::writerAtWorkSeconds * 1000);
}

PersonalLexiconSnapshot PersonalLexiconStore::save(const PersonalLexiconSnapshot &snapshot,
                                                   PreviousFile previous) {
    const QString folder = dataFolder();
    if (!GuardedDataFile::occupied(folder) && !QDir().mkpath(folder))
        throw DataFolderError(DataFolderError::Kind::CreateFailed, folder);
    const QString path = folder + u'/' + QLatin1String(lexiconFileName);
    const QByteArray bytes = snapshot.toFileBytes();
    // Copied, not moved: should the write fail, the file stays where the
    // next start looks for it.
    if (previous == PreviousFile::keepCopy)
        m_setAside.note(SetAsideWhy::kept, m_file.keepCopy(path, QStringLiteral("before-cleanup")));
    const QByteArray written = m_setAside.write(m_file, path, bytes);
    // Merged onto another writer's change: what the file holds now.
    return written == bytes ? snapshot : PersonalLexiconSnapshot::fromFileBytes(written);
}

} // namespace tovalit
