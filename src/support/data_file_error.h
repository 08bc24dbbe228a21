#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

// A store's data file could not be read, written or kept. The description
// leads with what the file is to the user ("个人词库文件"); each store throws
// its own subclass, so that a caller can tell whose file failed.
class DataFileError : public AppError {
public:
    // NotRead: a save refused because the last load could not read the
    // file, which is kept as it is.
    enum class Kind { ReadFailed, WriteFailed, SetAsideFailed, NotRead };

    Kind kind() const { return m_kind; }
    QString localizedDescription() const override;

protected:
    DataFileError(QString fileTitle, Kind kind, QString detail);

private:
    QString m_fileTitle;
    Kind m_kind;
    QString m_detail;
};

} // namespace tovalit
