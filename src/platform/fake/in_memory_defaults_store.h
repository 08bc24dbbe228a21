#pragma once

#include "platform/defaults_store.h"

#include <QVariantMap>

namespace tovalit {

// Typed preferences in memory, for tests: values keep the kind they were
// stored with, and every write and synchronisation is counted.
class InMemoryDefaultsStore final : public DefaultsStore {
public:
    std::optional<bool> boolean(const QString &key) const override;
    std::optional<QString> string(const QString &key) const override;
    std::optional<QByteArray> data(const QString &key) const override;
    bool contains(const QString &key) const override;
    std::optional<QString> loadProblem() const override { return m_loadProblem; }

    void setBoolean(const QString &key, bool value) override;
    void setString(const QString &key, const QString &value) override;
    void setData(const QString &key, const QByteArray &value) override;
    void remove(const QString &key) override;
    std::optional<QString> synchronize() override;

    // Stores any value as it is (a number, a list), to model foreign data.
    void setRaw(const QString &key, const QVariant &value);
    const QVariantMap &values() const { return m_values; }
    // Writes and removals since construction or the last reset.
    int writeCount() const { return m_writeCount; }
    void resetWriteCount() { m_writeCount = 0; }
    int synchronizeCount() const { return m_synchronizeCount; }
    // Later synchronize() calls fail with `reason` (with nothing, they succeed).
    void failSynchronizing(std::optional<QString> reason) { m_failure = std::move(reason); }
    // Says the stored values could not be loaded, for `reason` (with
    // nothing, that they were); for an empty store, which reads nothing.
    void failLoading(std::optional<QString> reason) { m_loadProblem = std::move(reason); }

private:
    QVariantMap m_values;
    int m_writeCount = 0;
    int m_synchronizeCount = 0;
    std::optional<QString> m_failure;
    std::optional<QString> m_loadProblem;
};

} // namespace tovalit
