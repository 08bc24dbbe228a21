#pragma once

#include "platform/secret_store.h"

#include <QHash>
#include <QPair>

#include <mutex>

namespace tovalit {

// Secrets in memory, for tests: counts every call and can be told to fail
// the next calls of one operation with a status.
class InMemorySecretStore final : public SecretStore {
public:
    enum class Operation { load, save, remove };

    std::optional<QByteArray> load(const QString &service, const QString &account) override;
    void save(const QString &service, const QString &account, const QByteArray &data) override;
    void remove(const QString &service, const QString &account) override;

    // Every later call of `operation` throws SecretStoreError(status) until
    // cleared with std::nullopt.
    void setFailure(Operation operation, std::optional<int> status);
    int callCount(Operation operation) const;
    // The stored data without counting a call.
    std::optional<QByteArray> peek(const QString &service, const QString &account) const;
    qsizetype itemCount() const;

private:
    void enter(Operation operation);

    mutable std::mutex m_mutex;
    QHash<QPair<QString, QString>, QByteArray> m_items;
    QHash<int, int> m_failures;
    QHash<int, int> m_calls;
};

} // namespace tovalit
