#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace tovalit::testing {

// A service that owns `name` on a session bus and never answers a call
// (tests/tools/stalled_bus_name): a keyring whose unlock prompt stays open,
// or a bus service that hangs. On the test's own session bus, or on the
// one `environment` names. Stopped when the object goes.
class StalledBusName {
public:
    explicit StalledBusName(
        QString name, QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());
    ~StalledBusName();
    StalledBusName(const StalledBusName &) = delete;
    StalledBusName &operator=(const StalledBusName &) = delete;

    // Whether the name is owned, within a bounded wait (a failure is
    // reported to the test).
    bool waitUntilOwned();
    QString name() const { return m_name; }

private:
    QString m_name;
    QProcess m_process;
    QByteArray m_output;
};

} // namespace tovalit::testing
