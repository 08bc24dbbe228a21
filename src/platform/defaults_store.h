#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tovalit {

// The user's persisted preferences: a flat map of keys to Booleans, strings
// and data. A read of one kind gives nothing when the key is missing or
// holds a value of another kind, so callers fall back to their defaults.
// Writes and removals show in this object's reads at once and reach
// storage at synchronize(), together.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    virtual std::optional<bool> boolean(const QString &key) const = 0;
    virtual std::optional<QString> string(const QString &key) const = 0;
    virtual std::optional<QByteArray> data(const QString &key) const = 0;
    virtual bool contains(const QString &key) const = 0;
    // Why the stored values could not be read when this object loaded
    // them; nothing when they were, or when there were none, and nothing
    // once a synchronize() has read them since. After such a failure
    // every read gives nothing, which says nothing of what is stored, and
    // synchronize() writes nothing until it can read them.
    virtual std::optional<QString> loadProblem() const { return std::nullopt; }

    virtual void setBoolean(const QString &key, bool value) = 0;
    virtual void setString(const QString &key, const QString &value) = 0;
    virtual void setData(const QString &key, const QByteArray &value) = 0;
    virtual void remove(const QString &key) = 0;
    // Stores every change made since the last call, all of them or none.
    // Nothing on success; otherwise the reason, and the changes stay
    // pending for the next call.
    virtual std::optional<QString> synchronize() = 0;
};

} // namespace tovalit
