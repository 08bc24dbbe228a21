#include "platform/linux/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace tovalit {

void notifyDesktop(const QString &message, std::chrono::milliseconds wait) {
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    request << QStringLiteral("Tovalit") << quint32(0) << QStringLiteral("dialog-information")
            << QStringLiteral("Tovalit") << message << QStringList() << QVariantMap() << qint32(-1);
    if (wait.count() > 0)
        QDBusConnection::sessionBus().call(request, QDBus::Block, int(wait.count()));
    else
        QDBusConnection::sessionBus().asyncCall(request);
}

} // namespace tovalit
