#pragma once

#include "platform/linux/xdg_portal_shortcut.h"

#include <QDBusAbstractInterface>
#include <QDBusObjectPath>

namespace tovalit {

// The desktop portal's signals on one object and interface, for member
// connects: Qt D-Bus subscribes to a signal only once something connects
// to it here, so each instance receives just what its user asks for.
class XdgPortalSignals : public QDBusAbstractInterface {
    Q_OBJECT

public:
    static inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    static inline const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");

    XdgPortalSignals(const QString &path, const char *interface, const QDBusConnection &bus,
                     QObject *parent = nullptr);

Q_SIGNALS:
    // org.freedesktop.portal.Request
    void Response(uint response, const QVariantMap &results);
    // org.freedesktop.portal.GlobalShortcuts
    void Activated(const QDBusObjectPath &session, const QString &shortcutId, qulonglong timestamp,
                   const QVariantMap &options);
    void Deactivated(const QDBusObjectPath &session, const QString &shortcutId,
                     qulonglong timestamp, const QVariantMap &options);
    void ShortcutsChanged(const QDBusObjectPath &session,
                          const QList<tovalit::XdgPortalShortcut> &shortcuts);
    // org.freedesktop.portal.Session
    void Closed(const QVariantMap &details);
};

} // namespace tovalit
