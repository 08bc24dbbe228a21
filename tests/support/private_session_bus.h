#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tovalit::testing {

// A D-Bus daemon of the test's own, with nothing on it that the test did
// not put there (nothing is started on demand: the names in
// `namesThatFailToStart` have a service whose start fails, the others none),
// and connections to it that go away with it. A failure to start is
// reported to the test; the bus is then not running.
class PrivateSessionBus {
public:
    explicit PrivateSessionBus(const QStringList &namesThatFailToStart = {});
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A new connection to the bus, under a name unique to this bus.
    QDBusConnection connect();

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

} // namespace tovalit::testing
