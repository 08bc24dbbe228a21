#include "platform/secret_store.h"

namespace tovalit {

SecretStoreError::SecretStoreError(int status, QString detail, Kind kind)
    : m_status(status)
    , m_detail(std::move(detail))
    , m_kind(kind) {}

QString SecretStoreError::localizedDescription() const {
    return joinedWithDetail(QStringLiteral("密钥环操作失败（%1）").arg(m_status), m_detail);
}

} // namespace tovalit
