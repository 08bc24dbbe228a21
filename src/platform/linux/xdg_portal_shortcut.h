#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace tovalit {

// One shortcut as the desktop portal's GlobalShortcuts interface passes it
// (D-Bus type "(sa{sv})"): an identifier and its properties
// ("description", "preferred_trigger", "trigger_description").
struct XdgPortalShortcut {
    QString id;
    QVariantMap properties;

    bool operator==(const XdgPortalShortcut &) const = default;
};

// Makes the type and lists of it known to Qt D-Bus; idempotent.
void registerXdgPortalShortcutType();

// A list of shortcuts out of a reply's or a result's value, whether Qt
// D-Bus has already taken it apart or still holds it raw; empty for
// anything else.
QList<XdgPortalShortcut> xdgPortalShortcutsFrom(const QVariant &value);

QDBusArgument &operator<<(QDBusArgument &argument, const XdgPortalShortcut &shortcut);
const QDBusArgument &operator>>(const QDBusArgument &argument, XdgPortalShortcut &shortcut);

} // namespace tovalit

Q_DECLARE_METATYPE(tovalit::XdgPortalShortcut)
