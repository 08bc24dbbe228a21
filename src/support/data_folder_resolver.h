#pragma once

#include <QString>

#include <functional>
#include <mutex>
#include <optional>

namespace tovalit {

// Where the data folder under a data location is. When "Tovalit" is
// missing and a former folder ("Quendor", then "VellupTranscriber", beside
// it) is there, the former folder is moved into place before anything can
// create an empty "Tovalit" in its way. Nothing is cached: a move that
// failed is tried again on the next call. Safe from any thread.
class DataFolderResolver {
public:
    // Moves a folder; returns why it could not, or nothing once it has.
    using FolderMove =
        std::function<std::optional<QString>(const QString &from, const QString &to)>;

    explicit DataFolderResolver(FolderMove move);

    // The folder to use under `root`; does not create it. Throws
    // DataFolderError when the move fails.
    QString resolve(const QString &root);

    // rename(2), with the system's reason when it fails.
    static std::optional<QString> renameFolder(const QString &from, const QString &to);

private:
    FolderMove m_move;
    std::mutex m_mutex;
};

} // namespace tovalit
