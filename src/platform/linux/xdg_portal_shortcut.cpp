#include "platform/linux/xdg_portal_shortcut.h"

#include <QDBusMetaType>

namespace tovalit {

void registerXdgPortalShortcutType() {
    static const bool registered = [] {
        qDBusRegisterMetaType<XdgPortalShortcut>();
        qDBusRegisterMetaType<QList<XdgPortalShortcut>>();
        return true;
    }();
    Q_UNUSED(registered);
}

QList<XdgPortalShortcut> xdgPortalShortcutsFrom(const QVariant &value) {
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("a(sa{sv})"))
            return {};
        return qdbus_cast<QList<XdgPortalShortcut>>(argument);
    }
    return value.value<QList<XdgPortalShortcut>>();
}

QDBusArgument &operator<<(QDBusArgument &argument, const XdgPortalShortcut &shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, XdgPortalShortcut &shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace tovalit
