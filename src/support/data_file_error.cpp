#include "support/data_file_error.h"

namespace tovalit {

DataFileError::DataFileError(QString fileTitle, Kind kind, QString detail)
    : m_fileTitle(std::move(fileTitle))
    , m_kind(kind)
    , m_detail(std::move(detail)) {}

QString DataFileError::localizedDescription() const {
    switch (m_kind) {
    case Kind::ReadFailed:
        return joinedWithDetail(QStringLiteral("无法读取") + m_fileTitle, m_detail);
    case Kind::WriteFailed:
        return joinedWithDetail(QStringLiteral("无法写入") + m_fileTitle, m_detail);
    case Kind::SetAsideFailed:
        return joinedWithDetail(QStringLiteral("无法备份无法识别的") + m_fileTitle, m_detail);
    case Kind::NotRead:
        return joinedWithDetail(m_fileTitle + QStringLiteral("尚未读取成功，已保留原文件"),
                                m_detail);
    }
    return {};
}

} // namespace tovalit
