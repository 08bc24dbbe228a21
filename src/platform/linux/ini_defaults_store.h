#pragma once

#include "platform/defaults_store.h"

#include <QSettings>

namespace tovalit {

// Preferences in an INI file, by default $XDG_CONFIG_HOME/Tovalit/Tovalit.ini.
// INI text carries no types: "true" and "false" read as Booleans (and as
// strings), data is kept in Qt's "@ByteArray(...)" form and reads only as
// data. Every write reaches the file before the call returns; a write of
// the value the file already holds leaves the file alone.
// Not thread-safe: one instance per thread.
class IniDefaultsStore final : public DefaultsStore {
public:
    explicit IniDefaultsStore(const QString &filePath);
    // The store on the standard file, resolved from the environment now.
    static QString standardFilePath();

    QString filePath() const;

    std::optional<bool> boolean(const QString &key) const override;
    std::optional<QString> string(const QString &key) const override;
    std::optional<QByteArray> data(const QString &key) const override;
    bool contains(const QString &key) const override;

    void setBoolean(const QString &key, bool value) override;
    void setString(const QString &key, const QString &value) override;
    void setData(const QString &key, const QByteArray &value) override;
    void remove(const QString &key) override;

private:
    void write(const QString &key, const QVariant &value);

    mutable QSettings m_settings;
};

} // namespace tovalit
