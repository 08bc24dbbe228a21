#include "tests/support/private_session_bus.h"

#include "tests/support/run_task.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace tovalit::testing {

PrivateSessionBus::PrivateSessionBus(const QStringList &namesThatFailToStart) {
    const QString services = m_folder.filePath(QStringLiteral("services"));
    QDir().mkpath(services);
    for (const QString &name : namesThatFailToStart) {
        QFile service(services + u'/' + name + QStringLiteral(".service"));
        if (!service.open(QIODevice::WriteOnly)) {
            ADD_FAILURE() << "cannot write the service file of " << name.toStdString();
            return;
        }
        service.write(
            QStringLiteral("[D-BUS Service]\nName=%1\nExec=/bin/false\n").arg(name).toUtf8());
    }
    const QString configuration = m_folder.filePath(QStringLiteral("bus.conf"));
    QFile file(configuration);
    if (!file.open(QIODevice::WriteOnly)) {
        ADD_FAILURE() << "cannot write the private bus's configuration";
        return;
    }
    file.write(QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <servicedir>%2</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
                   .arg(m_folder.path(), services)
                   .toUtf8());
    file.close();
    // It complains on every start that it may not raise its file limit.
    m_daemon.setStandardErrorFile(QProcess::nullDevice());
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + configuration, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(5000)) {
        ADD_FAILURE() << "cannot start dbus-daemon: " << m_daemon.errorString().toStdString();
        return;
    }
    QByteArray output;
    waitUntil(
        [&] {
            output += m_daemon.readAllStandardOutput();
            return output.contains('\n') || m_daemon.state() == QProcess::NotRunning;
        },
        "the private bus's address");
    m_address = QString::fromUtf8(output).section(u'\n', 0, 0).trimmed();
}

PrivateSessionBus::~PrivateSessionBus() {
    for (const QString &name : m_connections)
        QDBusConnection::disconnectFromBus(name);
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(3000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
}

QDBusConnection PrivateSessionBus::connect() {
    const QString name =
        QStringLiteral("private-bus-%1-%2").arg(quintptr(this), 0, 16).arg(m_connections.size());
    m_connections.append(name);
    return QDBusConnection::connectToBus(m_address, name);
}

} // namespace tovalit::testing
