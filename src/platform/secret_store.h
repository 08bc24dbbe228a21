#pragma once

#include "support/app_error.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tovalit {

// The secret store answered with a failure. `status` is the store's own
// code (a GError code for the Secret Service), `detail` its message.
class SecretStoreError : public AppError {
public:
    SecretStoreError(int status, QString detail);
    int status() const { return m_status; }
    QString detail() const { return m_detail; }
    QString localizedDescription() const override;

private:
    int m_status;
    QString m_detail;
};

// Small secrets, one item per (service, account). A missing item is not a
// failure: load gives nothing and remove does nothing. Save replaces the
// data of an existing item. Every other failure throws SecretStoreError.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    virtual std::optional<QByteArray> load(const QString &service, const QString &account) = 0;
    virtual void save(const QString &service, const QString &account, const QByteArray &data) = 0;
    virtual void remove(const QString &service, const QString &account) = 0;
};

} // namespace tovalit
