#include "platform/linux/desktop_entry_index.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>

namespace tovalit {

namespace {

QStringList defaultFolders() {
    QStringList folders;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    folders << home + QStringLiteral("/applications");
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString &dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << dir + QStringLiteral("/applications");
    return folders;
}

QDateTime modificationTime(const QString &folder) {
    QFileInfo info(folder);
    return info.exists() ? info.lastModified() : QDateTime();
}

} // namespace

DesktopEntryIndex::DesktopEntryIndex(QStringList folders, QString locale)
    : m_folders(folders.isEmpty() ? defaultFolders() : std::move(folders))
    , m_locale(locale.isEmpty() ? QLocale::system().name() : std::move(locale)) {}

void DesktopEntryIndex::refreshIfChanged() {
    bool changed = m_scannedTimes.isEmpty();
    for (const QString &folder : m_folders) {
        const QDateTime modified = modificationTime(folder);
        // File times advance in coarse ticks: a folder changed in the same
        // tick as the last scan still shows the time that scan saw, so a
        // folder modified shortly before that scan is read again.
        const bool racy = modified.isValid() && m_scannedAt.isValid() &&
                          modified.msecsTo(m_scannedAt) < racyWindowMilliseconds;
        if (m_scannedTimes.value(folder) != modified || racy)
            changed = true;
    }
    if (!changed)
        return;
    m_entries.clear();
    m_scannedTimes.clear();
    m_scannedAt = QDateTime::currentDateTimeUtc();
    for (const QString &folder : m_folders) {
        m_scannedTimes.insert(folder, modificationTime(folder));
        scanFolder(folder);
    }
}

void DesktopEntryIndex::scanFolder(const QString &folder) {
    QSet<QString> known;
    for (const Entry &entry : std::as_const(m_entries))
        known.insert(entry.id);
    QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                    QDirIterator::Subdirectories);
    const QDir base(folder);
    while (it.hasNext()) {
        const QString path = it.next();
        // The id of applications/foo/bar.desktop is foo-bar.
        QString id = base.relativeFilePath(path);
        id.chop(int(qstrlen(".desktop")));
        id.replace(QLatin1Char('/'), QLatin1Char('-'));
        if (known.contains(id))
            continue;
        known.insert(id);
        if (auto entry = parse(path, id))
            m_entries.append(*entry);
    }
}

std::optional<DesktopEntryIndex::Entry> DesktopEntryIndex::parse(const QString &path,
                                                                 const QString &id) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString language = m_locale.section(QLatin1Char('_'), 0, 0);
    const QString exactKey = QStringLiteral("Name[%1]").arg(m_locale);
    const QString languageKey = QStringLiteral("Name[%1]").arg(language);
    QString name, exactName, languageName, type, wmClass;
    bool inMainGroup = false;
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Name"))
            name = value;
        else if (key == exactKey)
            exactName = value;
        else if (key == languageKey)
            languageName = value;
        else if (key == QLatin1String("Type"))
            type = value;
        else if (key == QLatin1String("StartupWMClass"))
            wmClass = value;
    }
    if (type != QLatin1String("Application"))
        return std::nullopt;
    const QString shown = !exactName.isEmpty()      ? exactName
                          : !languageName.isEmpty() ? languageName
                                                    : name;
    if (shown.isEmpty())
        return std::nullopt;
    return Entry{id, shown, wmClass};
}

std::optional<DesktopEntry> DesktopEntryIndex::entryForWindowClass(const QString &instanceName,
                                                                   const QString &className) {
    std::lock_guard lock(m_mutex);
    refreshIfChanged();
    const QStringList keys = {className, instanceName};
    const auto matches = [&keys](const QString &candidate) {
        if (candidate.isEmpty())
            return false;
        for (const QString &key : keys) {
            if (!key.isEmpty() && candidate.compare(key, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    };
    // The entry that names the window class wins, then one whose id is the
    // class, then one whose reverse-domain id ends in it (org.kde.kate).
    for (const Entry &entry : std::as_const(m_entries)) {
        if (matches(entry.startupWindowClass))
            return DesktopEntry{entry.id, entry.name};
    }
    for (const Entry &entry : std::as_const(m_entries)) {
        if (matches(entry.id))
            return DesktopEntry{entry.id, entry.name};
    }
    for (const Entry &entry : std::as_const(m_entries)) {
        if (entry.id.contains(QLatin1Char('.')) && matches(entry.id.section(QLatin1Char('.'), -1)))
            return DesktopEntry{entry.id, entry.name};
    }
    return std::nullopt;
}

} // namespace tovalit
