#pragma once

#include "support/app_error.h"

#include <QByteArray>
#include <QString>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class SecretStore;

class KeychainStoreError : public AppError {
public:
    enum class Kind { operationFailed, unexpectedData };

    static KeychainStoreError operationFailed(int status, QString detail = {});
    static KeychainStoreError unexpectedData();

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    // The secret store's own message, for diagnostics; not shown to users.
    QString detail() const { return m_detail; }
    // "钥匙串操作失败（<status>）。" or "钥匙串返回了无法解析的数据。".
    QString localizedDescription() const override;

private:
    KeychainStoreError(Kind kind, int status, QString detail);

    Kind m_kind;
    int m_status;
    QString m_detail;
};

// The application's small secrets, one item per account under one service
// name. A missing item is not a failure: loading gives nothing, deleting
// does nothing. No state, no lock, no retries, no logging.
class KeychainStore {
public:
    // Over the desktop's Secret Service.
    explicit KeychainStore(QString service);
    KeychainStore(QString service, std::shared_ptr<SecretStore> secrets);

    QString service() const { return m_service; }

    QCoro::Task<std::optional<QByteArray>> loadData(QString account) const;
    QCoro::Task<void> saveData(QByteArray data, QString account) const;
    QCoro::Task<void> deleteItem(QString account) const;

private:
    QString m_service;
    std::shared_ptr<SecretStore> m_secrets;
};

} // namespace tovalit
