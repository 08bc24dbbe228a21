#include "app/system_tray_availability.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QTimer>

namespace tovalit {

namespace {

// A tray that speaks the status notifier protocol announces itself on the
// session bus under this name.
const QString statusNotifierWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr std::chrono::seconds pollInterval(3);

} // namespace

SystemTrayAvailability::SystemTrayAvailability(Probe probe, QObject *parent)
    : QObject(parent)
    , m_probe(probe ? std::move(probe) : [] { return QSystemTrayIcon::isSystemTrayAvailable(); }) {
    m_available = m_probe();
    followTheDesktop();
}

void SystemTrayAvailability::refresh() {
    const bool available = m_probe();
    if (available == m_available)
        return;
    m_available = available;
    Q_EMIT availabilityChanged(available);
}

void SystemTrayAvailability::followTheDesktop() {
    auto *watcher = new QDBusServiceWatcher(statusNotifierWatcher, QDBusConnection::sessionBus(),
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &SystemTrayAvailability::refresh);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            &SystemTrayAvailability::refresh);
    // An X11 tray (the XEmbed kind) announces itself only to whoever
    // watches the root window's selections, which Qt does privately; the
    // question is cheap (one round trip to the X server), so it is asked
    // again now and then.
    auto *poll = new QTimer(this);
    poll->setInterval(pollInterval);
    connect(poll, &QTimer::timeout, this, &SystemTrayAvailability::refresh);
    poll->start();
}

} // namespace tovalit
