#pragma once

#include "support/app_error.h"

#include <QString>

#include <optional>

namespace tovalit {

class DataFolderError : public AppError {
public:
    enum class Kind { NoDataLocation, CreateFailed };
    DataFolderError(Kind kind, QString path);
    Kind kind() const { return m_kind; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_path;
};

// The application's data folder, $XDG_DATA_HOME/Tovalit, or the former
// folder this run keeps using where it is (DataFolderResolver). Every
// reader and writer of data files resolves it here, so a former folder is
// moved into place before anything can create an empty "Tovalit" in its
// way. Safe from any thread.
class DataFolder {
public:
    // The folder's path after any move of a former folder; does not create
    // it. Throws DataFolderError when there is no data location.
    static QString resolve();
    // As resolve(), then creates the folder (with its parents) if needed.
    static QString ensure();
    // ensure() + "/" + name, created if needed.
    static QString ensureSubfolder(const QString &name);
    // Why a former folder could not be moved in this run, once.
    static std::optional<QString> takeMoveNotice();

    static constexpr const char *productFolderName = "Tovalit";
    static const QStringList &formerFolderNames();
};

} // namespace tovalit
