#include "platform/fake/in_memory_defaults_store.h"

namespace tovalit {

namespace {

template <typename T>
std::optional<T> typed(const QVariantMap &values, const QString &key, QMetaType::Type type) {
    const auto found = values.constFind(key);
    if (found == values.constEnd() || found->typeId() != type)
        return std::nullopt;
    return found->value<T>();
}

} // namespace

std::optional<bool> InMemoryDefaultsStore::boolean(const QString &key) const {
    return typed<bool>(m_values, key, QMetaType::Bool);
}

std::optional<QString> InMemoryDefaultsStore::string(const QString &key) const {
    return typed<QString>(m_values, key, QMetaType::QString);
}

std::optional<QByteArray> InMemoryDefaultsStore::data(const QString &key) const {
    return typed<QByteArray>(m_values, key, QMetaType::QByteArray);
}

bool InMemoryDefaultsStore::contains(const QString &key) const {
    return m_values.contains(key);
}

void InMemoryDefaultsStore::setBoolean(const QString &key, bool value) {
    setRaw(key, value);
}

void InMemoryDefaultsStore::setString(const QString &key, const QString &value) {
    setRaw(key, value);
}

void InMemoryDefaultsStore::setData(const QString &key, const QByteArray &value) {
    setRaw(key, value);
}

void InMemoryDefaultsStore::remove(const QString &key) {
    m_values.remove(key);
    ++m_writeCount;
}

std::optional<QString> InMemoryDefaultsStore::synchronize() {
    ++m_synchronizeCount;
    return m_failure;
}

void InMemoryDefaultsStore::setRaw(const QString &key, const QVariant &value) {
    m_values.insert(key, value);
    ++m_writeCount;
}

} // namespace tovalit
