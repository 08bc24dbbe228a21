#include "services/security/keychain_store.h"

#include "platform/linux/libsecret_secret_store.h"
#include "platform/secret_store.h"

namespace tovalit {

KeychainStoreError::KeychainStoreError(Kind kind, int status, QString detail)
    : m_kind(kind)
    , m_status(status)
    , m_detail(std::move(detail)) {}

KeychainStoreError KeychainStoreError::operationFailed(int status, QString detail) {
    return KeychainStoreError(Kind::operationFailed, status, std::move(detail));
}

KeychainStoreError KeychainStoreError::unexpectedData() {
    return KeychainStoreError(Kind::unexpectedData, 0, {});
}

QString KeychainStoreError::localizedDescription() const {
    switch (m_kind) {
    case Kind::operationFailed:
        return QStringLiteral("钥匙串操作失败（") + QString::number(m_status) +
               QStringLiteral("）。");
    case Kind::unexpectedData:
        return QStringLiteral("钥匙串返回了无法解析的数据。");
    }
    return {};
}

KeychainStore::KeychainStore(QString service)
    : KeychainStore(std::move(service), std::make_shared<LibsecretSecretStore>()) {}

KeychainStore::KeychainStore(QString service, std::shared_ptr<SecretStore> secrets)
    : m_service(std::move(service))
    , m_secrets(std::move(secrets)) {}

QCoro::Task<std::optional<QByteArray>> KeychainStore::loadData(QString account) const {
    try {
        co_return m_secrets->load(m_service, account, CancelToken());
    } catch (const SecretStoreError &error) {
        throw KeychainStoreError::operationFailed(error.status(), error.detail());
    }
}

QCoro::Task<void> KeychainStore::saveData(QByteArray data, QString account) const {
    try {
        m_secrets->save(m_service, account, data, CancelToken());
    } catch (const SecretStoreError &error) {
        throw KeychainStoreError::operationFailed(error.status(), error.detail());
    }
    co_return;
}

QCoro::Task<void> KeychainStore::deleteItem(QString account) const {
    try {
        m_secrets->remove(m_service, account, CancelToken());
    } catch (const SecretStoreError &error) {
        throw KeychainStoreError::operationFailed(error.status(), error.detail());
    }
    co_return;
}

} // namespace tovalit
