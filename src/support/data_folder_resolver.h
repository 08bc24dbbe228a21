#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>

namespace tovalit {

// Where the data folder under a data location is, as one run of the
// application decides it. When "Tovalit" is missing and a former folder
// ("Quendor", then "VellupTranscriber", beside it) is there, the former
// folder is moved into place before anything can create an empty "Tovalit"
// in its way. Only a name the system says does not exist is missing (see
// PathPresence): a "Tovalit" that cannot be looked at is used as it is,
// never moved onto. A former folder that cannot be moved (or looked at) stays in use where it
// is for the rest of the run: nothing in it is lost, dictation goes on, and
// every reader and writer agrees on one folder (a move that succeeded
// mid-run would pull the folder from under a running recording). The next
// run tries the move again. Safe from any thread.
class DataFolderResolver {
public:
    // Moves a folder; returns why it could not, or nothing once it has.
    using FolderMove =
        std::function<std::optional<QString>(const QString &from, const QString &to)>;

    explicit DataFolderResolver(FolderMove move);

    // The folder to use under `root`; does not create it.
    QString resolve(const QString &root);
    // Why a former folder stays where it is, once: nothing afterwards, and
    // nothing while every move succeeded.
    std::optional<QString> takeMoveNotice();

    // rename(2), with the system's reason when it fails.
    static std::optional<QString> renameFolder(const QString &from, const QString &to);

private:
    FolderMove m_move;
    std::mutex m_mutex;
    // Former folders kept in use by this run, by data location.
    QHash<QString, QString> m_keptFormerFolders;
    std::optional<QString> m_moveNotice;
};

} // namespace tovalit
