#include "support/json_read_error.h"

namespace tovalit {

JsonReadError::JsonReadError(QString detail)
    : m_detail(std::move(detail)) {}

QString JsonReadError::localizedDescription() const {
    return joinedWithDetail(QStringLiteral("未能读取数据，因为它的格式不正确。"), m_detail);
}

} // namespace tovalit
