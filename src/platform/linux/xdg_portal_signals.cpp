#include "platform/linux/xdg_portal_signals.h"

namespace tovalit {

XdgPortalSignals::XdgPortalSignals(const QString &path, const char *interface,
                                   const QDBusConnection &bus, QObject *parent)
    : QDBusAbstractInterface(service, path, interface, bus, parent) {
    registerXdgPortalShortcutType();
}

} // namespace tovalit
