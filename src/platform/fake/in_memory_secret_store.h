#pragma once

#include "platform/secret_store.h"

#include <QHash>
#include <QPair>

#include <condition_variable>
#include <mutex>

namespace tovalit {

// Secrets in memory, for tests: counts every call, can be told to fail the
// next calls of one operation with a status, to be no store at all, or to
// hold its calls the way a keyring does while its unlock prompt is open.
class InMemorySecretStore final : public SecretStore {
public:
    enum class Operation { load, save, remove };

    std::optional<QByteArray> load(const QString &service, const QString &account,
                                   CancelToken token) override;
    void save(const QString &service, const QString &account, const QByteArray &data,
              CancelToken token) override;
    void remove(const QString &service, const QString &account, CancelToken token) override;

    // Convenience for tests that call the store directly.
    std::optional<QByteArray> load(const QString &service, const QString &account) {
        return load(service, account, CancelToken());
    }
    void save(const QString &service, const QString &account, const QByteArray &data) {
        save(service, account, data, CancelToken());
    }

    // Every later call of `operation` throws SecretStoreError(status) until
    // cleared with std::nullopt.
    void setFailure(Operation operation, std::optional<int> status);
    // Every later call finds no store at all, as on a desktop without a
    // Secret Service.
    void setNoService(bool noService);
    // Later calls wait until release(). A cancelled call gives up with a
    // `cancelled` failure, unless the hold ignores cancellation: a call that
    // never returns. A call on the GUI thread is never held (it would freeze
    // the test itself); callsOnGuiThread() counts it instead.
    void hold(bool ignoringCancellation = false);
    void release();
    int heldCalls() const;

    int callCount(Operation operation) const;
    // Calls made on the GUI thread, where a keyring that waits for its user
    // freezes the window.
    int callsOnGuiThread() const;
    // The stored data without counting a call.
    std::optional<QByteArray> peek(const QString &service, const QString &account) const;
    qsizetype itemCount() const;

private:
    std::unique_lock<std::mutex> enter(Operation operation, const CancelToken &token);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QHash<QPair<QString, QString>, QByteArray> m_items;
    QHash<int, int> m_failures;
    QHash<int, int> m_calls;
    int m_callsOnGuiThread = 0;
    bool m_noService = false;
    bool m_holding = false;
    bool m_holdIgnoresCancellation = false;
    int m_heldCalls = 0;
};

} // namespace tovalit
