#include "platform/fake/in_memory_secret_store.h"

namespace tovalit {

void InMemorySecretStore::enter(Operation operation) {
    const int key = static_cast<int>(operation);
    ++m_calls[key];
    const auto failure = m_failures.constFind(key);
    if (failure != m_failures.constEnd())
        throw SecretStoreError(*failure, QStringLiteral("injected failure"));
}

std::optional<QByteArray> InMemorySecretStore::load(const QString &service,
                                                    const QString &account) {
    std::lock_guard lock(m_mutex);
    enter(Operation::load);
    const auto found = m_items.constFind({service, account});
    if (found == m_items.constEnd())
        return std::nullopt;
    return *found;
}

void InMemorySecretStore::save(const QString &service, const QString &account,
                               const QByteArray &data) {
    std::lock_guard lock(m_mutex);
    enter(Operation::save);
    m_items.insert({service, account}, data);
}

void InMemorySecretStore::remove(const QString &service, const QString &account) {
    std::lock_guard lock(m_mutex);
    enter(Operation::remove);
    m_items.remove({service, account});
}

void InMemorySecretStore::setFailure(Operation operation, std::optional<int> status) {
    std::lock_guard lock(m_mutex);
    if (status)
        m_failures.insert(static_cast<int>(operation), *status);
    else
        m_failures.remove(static_cast<int>(operation));
}

int InMemorySecretStore::callCount(Operation operation) const {
    std::lock_guard lock(m_mutex);
    return m_calls.value(static_cast<int>(operation));
}

std::optional<QByteArray> InMemorySecretStore::peek(const QString &service,
                                                    const QString &account) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_items.constFind({service, account});
    if (found == m_items.constEnd())
        return std::nullopt;
    return *found;
}

qsizetype InMemorySecretStore::itemCount() const {
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

} // namespace tovalit
