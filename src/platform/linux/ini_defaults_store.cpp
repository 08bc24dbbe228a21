#include "platform/linux/ini_defaults_store.h"

#include <QStandardPaths>

namespace tovalit {

IniDefaultsStore::IniDefaultsStore(const QString &filePath)
    : m_settings(filePath, QSettings::IniFormat) {}

QString IniDefaultsStore::standardFilePath() {
    // Resolved on every call rather than through QSettings' user scope,
    // which fixes the folder at first use.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tovalit/Tovalit.ini");
}

QString IniDefaultsStore::filePath() const {
    return m_settings.fileName();
}

namespace {

bool isText(const QVariant &value) {
    return value.typeId() == QMetaType::QString;
}

} // namespace

std::optional<bool> IniDefaultsStore::boolean(const QString &key) const {
    const QVariant value = m_settings.value(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (!isText(value))
        return std::nullopt;
    const QString text = value.toString();
    if (text == u"true")
        return true;
    if (text == u"false")
        return false;
    return std::nullopt;
}

std::optional<QString> IniDefaultsStore::string(const QString &key) const {
    const QVariant value = m_settings.value(key);
    if (!isText(value))
        return std::nullopt;
    return value.toString();
}

std::optional<QByteArray> IniDefaultsStore::data(const QString &key) const {
    const QVariant value = m_settings.value(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

bool IniDefaultsStore::contains(const QString &key) const {
    return m_settings.contains(key);
}

void IniDefaultsStore::setBoolean(const QString &key, bool value) {
    write(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void IniDefaultsStore::setString(const QString &key, const QString &value) {
    write(key, value);
}

void IniDefaultsStore::setData(const QString &key, const QByteArray &value) {
    write(key, value);
}

void IniDefaultsStore::remove(const QString &key) {
    m_settings.remove(key);
    m_settings.sync();
}

void IniDefaultsStore::write(const QString &key, const QVariant &value) {
    // Callers write all their settings whenever one changes; rewriting the
    // file (each time a locked, flushed replacement) for a value it already
    // holds only costs time on the caller's thread.
    if (m_settings.contains(key)) {
        const QVariant stored = m_settings.value(key);
        if (stored.typeId() == value.typeId() && stored == value)
            return;
    }
    m_settings.setValue(key, value);
    // QSettings writes the whole file atomically; syncing now means a crash
    // right after a change never loses it.
    m_settings.sync();
}

} // namespace tovalit
