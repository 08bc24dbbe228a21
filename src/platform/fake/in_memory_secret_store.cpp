#include "platform/fake/in_memory_secret_store.h"

#include "support/gui_thread.h"

namespace tovalit {

std::unique_lock<std::mutex> InMemorySecretStore::enter(Operation operation,
                                                        const CancelToken &token) {
    // Subscribed before the lock is taken: an already cancelled token runs
    // the callback at once, and the callback takes the lock.
    const CancelSubscription wake = token.onCancel([this] {
        { const std::lock_guard lock(m_mutex); }
        m_changed.notify_all();
    });
    std::unique_lock lock(m_mutex);
    const int key = static_cast<int>(operation);
    ++m_calls[key];
    const bool onGuiThread = isGuiThread();
    if (onGuiThread)
        ++m_callsOnGuiThread;
    if (m_holding && !onGuiThread) {
        ++m_heldCalls;
        m_changed.notify_all();
        m_changed.wait(lock, [&] {
            return !m_holding || (!m_holdIgnoresCancellation && token.isCancelled());
        });
        --m_heldCalls;
        if (m_holding)
            throw SecretStoreError(19, QStringLiteral("Operation was cancelled"),
                                   SecretStoreError::Kind::cancelled);
    }
    if (m_noService)
        throw SecretStoreError(2, QStringLiteral("no secret store on this desktop"),
                               SecretStoreError::Kind::noService);
    const auto failure = m_failures.constFind(key);
    if (failure != m_failures.constEnd())
        throw SecretStoreError(*failure, QStringLiteral("injected failure"));
    return lock;
}

std::optional<QByteArray> InMemorySecretStore::load(const QString &service, const QString &account,
                                                    CancelToken token) {
    const auto lock = enter(Operation::load, token);
    const auto found = m_items.constFind({service, account});
    if (found == m_items.constEnd())
        return std::nullopt;
    return *found;
}

void InMemorySecretStore::save(const QString &service, const QString &account,
                               const QByteArray &data, CancelToken token) {
    const auto lock = enter(Operation::save, token);
    m_items.insert({service, account}, data);
}

void InMemorySecretStore::remove(const QString &service, const QString &account,
                                 CancelToken token) {
    const auto lock = enter(Operation::remove, token);
    m_items.remove({service, account});
}

void InMemorySecretStore::setFailure(Operation operation, std::optional<int> status) {
    const std::lock_guard lock(m_mutex);
    if (status)
        m_failures.insert(static_cast<int>(operation), *status);
    else
        m_failures.remove(static_cast<int>(operation));
}

void InMemorySecretStore::setNoService(bool noService) {
    const std::lock_guard lock(m_mutex);
    m_noService = noService;
}

void InMemorySecretStore::hold(bool ignoringCancellation) {
    const std::lock_guard lock(m_mutex);
    m_holding = true;
    m_holdIgnoresCancellation = ignoringCancellation;
}

void InMemorySecretStore::release() {
    {
        const std::lock_guard lock(m_mutex);
        m_holding = false;
    }
    m_changed.notify_all();
}

int InMemorySecretStore::heldCalls() const {
    const std::lock_guard lock(m_mutex);
    return m_heldCalls;
}

int InMemorySecretStore::callCount(Operation operation) const {
    const std::lock_guard lock(m_mutex);
    return m_calls.value(static_cast<int>(operation));
}

int InMemorySecretStore::callsOnGuiThread() const {
    const std::lock_guard lock(m_mutex);
    return m_callsOnGuiThread;
}

std::optional<QByteArray> InMemorySecretStore::peek(const QString &service,
                                                    const QString &account) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_items.constFind({service, account});
    if (found == m_items.constEnd())
        return std::nullopt;
    return *found;
}

qsizetype InMemorySecretStore::itemCount() const {
    const std::lock_guard lock(m_mutex);
    return m_items.size();
}

} // namespace tovalit
