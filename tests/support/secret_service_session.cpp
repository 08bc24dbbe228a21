#include "tests/support/secret_service_session.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace tovalit::testing {

bool secretServiceAvailable() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    return bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value();
}

} // namespace tovalit::testing
