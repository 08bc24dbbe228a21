#pragma once

#include "support/app_error.h"
#include "support/cancel_token.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tovalit {

// The secret store answered with a failure. `status` is the store's own
// code (a GError code for the Secret Service), `detail` its message.
class SecretStoreError : public AppError {
public:
    enum class Kind {
        // The store answered with a failure of its own.
        failed,
        // There is no secret store on this desktop at all (nobody owns the
        // Secret Service's name and nothing can start it).
        noService,
        // A store is there but did not answer in time.
        noAnswer,
        // The caller gave up on the call.
        cancelled,
    };

    SecretStoreError(int status, QString detail, Kind kind = Kind::failed);
    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    QString detail() const { return m_detail; }
    QString localizedDescription() const override;

private:
    int m_status;
    QString m_detail;
    Kind m_kind;
};

// Small secrets, one item per (service, account). A missing item is not a
// failure: load gives nothing and remove does nothing. Save replaces the
// data of an existing item. Every other failure throws SecretStoreError.
// Calls block (a locked keyring asks its user first), so they are made
// off the GUI thread; cancelling `token` asks the store to give the call up,
// which it may or may not manage.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    virtual std::optional<QByteArray> load(const QString &service, const QString &account,
                                           CancelToken token) = 0;
    virtual void save(const QString &service, const QString &account, const QByteArray &data,
                      CancelToken token) = 0;
    virtual void remove(const QString &service, const QString &account, CancelToken token) = 0;
};

} // namespace tovalit
