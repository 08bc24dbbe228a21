#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

namespace tovalit {

// What the desktop's application entries (.desktop files) say about an
// application: its desktop-file id and its name in the user's language.
struct DesktopEntry {
    QString id;
    QString name;
};

// Finds an application's desktop entry from its window class, the way
// docks and task bars do. Rebuilt when an applications folder changes;
// safe to use from any thread.
class DesktopEntryIndex {
public:
    // `folders`: applications folders, most important first; empty means
    // those of XDG_DATA_HOME and XDG_DATA_DIRS. `locale` like "zh_CN".
    explicit DesktopEntryIndex(QStringList folders = {}, QString locale = {});

    std::optional<DesktopEntry> entryForWindowClass(const QString &instanceName,
                                                    const QString &className);

private:
    struct Entry {
        QString id;
        QString name;
        QString startupWindowClass;
    };
    void refreshIfChanged();
    void scanFolder(const QString &folder);
    std::optional<Entry> parse(const QString &path, const QString &id) const;

    QStringList m_folders;
    QString m_locale;
    std::mutex m_mutex;
    QHash<QString, QDateTime> m_scannedTimes;
    QDateTime m_scannedAt;
    static constexpr qint64 racyWindowMilliseconds = 2000;
    QList<Entry> m_entries; // in folder priority order, first id wins
};

} // namespace tovalit
