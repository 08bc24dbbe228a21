#include "services/lexicon/personal_lexicon_store.h"

#include "services/lexicon/personal_lexicon_store_error.h"
#include "support/data_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tovalit {

namespace {

using StoreError = PersonalLexiconStoreError;

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

} // namespace

PersonalLexiconStore::PersonalLexiconStore(std::optional<QString> baseDirectory)
    : m_baseDirectory(std::move(baseDirectory))
    , m_executor(QStringLiteral("PersonalLexiconStore")) {}

PersonalLexiconStore::~PersonalLexiconStore() = default;

QCoro::Task<PersonalLexiconSnapshot> PersonalLexiconStore::loadSnapshot() {
    return m_executor.run([this] { return load(); });
}

QCoro::Task<PersonalLexiconSnapshot>
PersonalLexiconStore::saveSnapshot(PersonalLexiconSnapshot snapshot) {
    return m_executor.run([this, snapshot = std::move(snapshot)] { return save(snapshot); });
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

QString PersonalLexiconStore::dataFolder() const {
    return m_baseDirectory ? *m_baseDirectory : DataFolder::resolve();
}

QString PersonalLexiconStore::lexiconFilePath() const {
    return dataFolder() + u'/' + QLatin1String(lexiconFileName);
}

std::optional<PersonalLexiconStore::FileStamp> PersonalLexiconStore::stampOf(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    return FileStamp{path, info.size(), info.lastModified()};
}

PersonalLexiconSnapshot PersonalLexiconStore::load() {
    const QString path = lexiconFilePath();
    if (!exists(path))
        return PersonalLexiconSnapshot::empty();
    m_verified.reset();
    const auto stamp = stampOf(path);
    PersonalLexiconSnapshot snapshot = PersonalLexiconSnapshot::fromFileBytes(readWhole(path));
    m_verified = stamp;
    return snapshot;
}

void PersonalLexiconStore::setAsideIfUnreadable(const QString &path) {
    if (!exists(path))
        return;
    // Unchanged since this store read or wrote it: known to be good, and
    // not worth decoding again on every save.
    if (m_verified && stampOf(path) == m_verified)
        return;
    try {
        PersonalLexiconSnapshot::fromFileBytes(readWhole(path));
        return;
    } catch (const AppError &) {
        // Unreadable or undecodable: keep it for the user, out of the way.
    }
    const QString aside = setAsidePath(path);
    if (!QFile::rename(path, aside))
        throw StoreError(StoreError::Kind::SetAsideFailed, QDir::toNativeSeparators(path));
}

PersonalLexiconSnapshot PersonalLexiconStore::save(const PersonalLexiconSnapshot &snapshot) {
    const QString folder = dataFolder();
    if (!exists(folder) && !QDir().mkpath(folder))
        throw DataFolderError(DataFolderError::Kind::CreateFailed, folder);
    const QString path = folder + u'/' + QLatin1String(lexiconFileName);
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
