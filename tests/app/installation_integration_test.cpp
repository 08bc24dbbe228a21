// Tovalit installed as a desktop application: cmake --install into a fresh
// prefix gives an executable that runs from there with its own libraries,
// a valid desktop entry that starts it and offers the status menu's items
// as its actions, the session bus's service file that starts it for the
// desktop's calls, its icon and the folder for the AppConfig property list.

#include "app/desktop_action.h"
#include "tests/support/application_process.h"
#include "tests/support/run_task.h"
#include "tests/support/temporary_user_folders.h"
#include "tests/support/test_session.h"
#include "tests/support/xdotool.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::ApplicationProcess;

const QString entryName = QStringLiteral("cn.pellastrim.tovalit.desktop");

struct Outcome {
    int exitCode = -1;
    QString output;
};

Outcome run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

// The groups of a desktop entry or bus service file ("Desktop Entry",
// "Desktop Action quit" …), each its keys' values; with `unescape`, the
// string escapes of the desktop entry format undone.
QMap<QString, QMap<QString, QString>> fileGroups(const QString &path, bool unescape = true) {
    QMap<QString, QMap<QString, QString>> groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return groups;
    QString group;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (group.isEmpty() || equals <= 0)
            continue;
        const QString raw = line.mid(equals + 1);
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (unescape && raw[i] == u'\\' && i + 1 < raw.size()) {
                const QChar next = raw[++i];
                value += next == u's' ? QChar(u' ') : next == u't' ? QChar(u'\t') : next;
            } else {
                value += raw[i];
            }
        }
        groups[group].insert(line.left(equals), value);
    }
    return groups;
}

// The arguments of an Exec line as a desktop launcher or the bus splits
// them: separated by spaces; a double-quoted argument with its backslash
// escapes undone, a single-quoted one taken as it stands, a backslash
// outside quotes escaping the next character. A launcher (`fieldCodes`)
// also reads "%%" as a percent sign, and takes any other "%" for a field
// code, which no argument here may hold.
QStringList execArguments(QString exec, bool fieldCodes = true) {
    if (fieldCodes) {
        QString literal;
        for (qsizetype i = 0; i < exec.size(); ++i) {
            if (exec[i] == u'%' && (++i == exec.size() || exec[i] != u'%'))
                return {};
            literal += exec[i];
        }
        exec = literal;
    }
    QStringList arguments;
    QString current;
    bool inArgument = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c == u'"') {
            for (++i; i < exec.size() && exec[i] != u'"'; ++i)
                current += exec[i] == u'\\' && i + 1 < exec.size() ? exec[++i] : exec[i];
            if (i == exec.size())
                return {};
            inArgument = true;
        } else if (c == u'\'') {
            const qsizetype end = exec.indexOf(u'\'', i + 1);
            if (end < 0)
                return {};
            current += exec.mid(i + 1, end - i - 1);
            i = end;
            inArgument = true;
        } else if (c == u'\\' && i + 1 < exec.size()) {
            current += exec[++i];
            inArgument = true;
        } else if (c == u' ') {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments << current;
    return arguments;
}

class ActivatingBus {
public:
    ActivatingBus(const QString &folder, const QString &serviceFolder)
        : m_address(QStringLiteral("unix:path=") + folder + QStringLiteral("/bus")) {
        QDir().mkpath(folder);
        const QString configuration = folder + QStringLiteral("/bus.conf");
        QFile file(configuration);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(QStringLiteral(
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                       "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                       "busconfig.dtd\">\n<busconfig><type>session</type><listen>%1</listen>"
                       "<servicedir>%2</servicedir><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                       .arg(m_address.toHtmlEscaped(), serviceFolder.toHtmlEscaped())
                       .toUtf8());
        file.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_daemon.setProcessEnvironment(environment);
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + configuration,
                        QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    }
    ~ActivatingBus() {
        QDBusConnection::disconnectFromBus(connectionName);
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }

    // Connected once the bus prints its address; not connected otherwise.
    // A daemon still starting is neither.
    QDBusConnection connect() {
        testing::waitUntil(
            [&] { return m_daemon.canReadLine() || m_daemon.state() == QProcess::NotRunning; },
            "the bus to start", 10s);
        return QDBusConnection::connectToBus(m_address, connectionName);
    }

private:
    static constexpr const char *connectionName = "activating-bus";
    QString m_address;
    QProcess m_daemon;
};

class InstallationTest : public testing::WithTemporaryUserFolders {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        TOVALIT_REQUIRE_ENVIRONMENT(
            !QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty(),
            "desktop-file-validate is needed (desktop-file-utils)");
        ASSERT_TRUE(scratch.isValid());
    }

    QTemporaryDir scratch;
};

TEST_F(InstallationTest, TheInstalledEntryStartsTheInstalledApplication) {
    // A prefix with a space and a percent sign, as a user's own folder may
    // have.
    const QString prefix = scratch.filePath(QStringLiteral("opt 100% tovalit"));
    const Outcome install = run(QStringLiteral(TOVALIT_CMAKE_COMMAND),
                                {QStringLiteral("--install"), QStringLiteral(TOVALIT_BUILD_DIR),
                                 QStringLiteral("--prefix"), prefix});
    ASSERT_EQ(install.exitCode, 0) << install.output.toStdString();

    const QDir root(prefix);
    const QString executable = root.filePath(QStringLiteral("bin/tovalit"));
    EXPECT_TRUE(QFileInfo(executable).isExecutable());
    EXPECT_TRUE(QFileInfo::exists(root.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/"
                                                               "cn.pellastrim.tovalit.svg"))));
    EXPECT_TRUE(QFileInfo(root.filePath(QStringLiteral("share/tovalit"))).isDir())
        << "where the AppConfig property list goes";

    const QString entry = root.filePath(QStringLiteral("share/applications/") + entryName);
    const Outcome validation = run(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(validation.exitCode, 0) << validation.output.toStdString();
    EXPECT_TRUE(validation.output.trimmed().isEmpty()) << validation.output.toStdString();
    const auto groups = fileGroups(entry);
    const QMap<QString, QString> main = groups.value(QStringLiteral("Desktop Entry"));
    EXPECT_EQ(main.value(QStringLiteral("Icon")), QStringLiteral("cn.pellastrim.tovalit"));
    EXPECT_EQ(main.value(QStringLiteral("DBusActivatable")), QStringLiteral("true"));
    const QStringList launched = execArguments(main.value(QStringLiteral("Exec")));
    ASSERT_EQ(launched.size(), 1) << launched.join(u'|').toStdString();
    const QString program = launched[0];
    EXPECT_EQ(program, executable);

    // Each of the status menu's items is an action that starts the
    // executable with its name.
    QStringList names;
    for (DesktopAction action : allDesktopActions)
        names << desktopActionName(action);
    EXPECT_EQ(main.value(QStringLiteral("Actions")).split(u';', Qt::SkipEmptyParts), names);
    for (const QString &name : std::as_const(names)) {
        const QMap<QString, QString> action =
            groups.value(QStringLiteral("Desktop Action ") + name);
        EXPECT_FALSE(action.value(QStringLiteral("Name")).isEmpty()) << name.toStdString();
        EXPECT_EQ(execArguments(action.value(QStringLiteral("Exec"))),
                  (QStringList{executable, QStringLiteral("--action"), name}))
            << name.toStdString();
    }

    // The bus starts the same executable for the desktop's calls, under
    // the name the entry's file name gives.
    const QString service =
        root.filePath(QStringLiteral("share/dbus-1/services/cn.pellastrim.tovalit.service"));
    const QMap<QString, QString> bus =
        fileGroups(service, false).value(QStringLiteral("D-BUS Service"));
    EXPECT_EQ(bus.value(QStringLiteral("Name")), QStringLiteral("cn.pellastrim.tovalit"));
    EXPECT_EQ(execArguments(bus.value(QStringLiteral("Exec")), false),
              (QStringList{executable, QStringLiteral("--dbus-activated")}));

    // Started as the desktop would, from the entry; nothing of the build
    // tree is in its way.
    qunsetenv("LD_LIBRARY_PATH");
    auto application = ApplicationProcess::start(program);
    ASSERT_TRUE(application);
    ASSERT_NE(application->waitForMainWindow(), 0u);
    QFile maps(QStringLiteral("/proc/%1/maps").arg(application->processIdentifier()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QString mapped = QString::fromUtf8(maps.readAll());
    for (const char *library : {"support", "platform", "core", "ui"}) {
        const QString name = QStringLiteral("libtovalit_%1.so").arg(QLatin1String(library));
        EXPECT_TRUE(mapped.contains(root.filePath(QStringLiteral("lib/tovalit/") + name)))
            << name.toStdString() << " is not the installed one";
    }
    application.reset();

    // A desktop that activates over the bus: its call starts the installed
    // Tovalit, which carries out the action it was started for and then
    // the next one.
    TOVALIT_REQUIRE_ENVIRONMENT(
        !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty(),
        "dbus-daemon is needed");
    ActivatingBus activating(scratch.filePath(QStringLiteral("bus")),
                             root.filePath(QStringLiteral("share/dbus-1/services")));
    QDBusConnection activatingBus = activating.connect();
    ASSERT_TRUE(activatingBus.isConnected()) << activatingBus.lastError().message().toStdString();
    const QString name = QStringLiteral("cn.pellastrim.tovalit");
    const auto actionCall = [&](const QString &action) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            name, QStringLiteral("/cn/pellastrim/tovalit"),
            QStringLiteral("org.freedesktop.Application"), QStringLiteral("ActivateAction"));
        call << action << QVariantList() << QVariantMap();
        return activatingBus.call(call, QDBus::Block, 60000);
    };
    const QDBusMessage opened = actionCall(QStringLiteral("open-window"));
    ASSERT_EQ(opened.type(), QDBusMessage::ReplyMessage) << opened.errorMessage().toStdString();
    const QDBusReply<uint> pid = activatingBus.interface()->servicePid(name);
    ASSERT_TRUE(pid.isValid());
    EXPECT_TRUE(testing::waitUntil(
        [&] {
            return !testing::xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                      QStringLiteral("--pid"), QString::number(pid.value()),
                                      QStringLiteral("--name"), QStringLiteral("^Tovalit$")})
                        .isEmpty();
        },
        "the activated Tovalit's window", 30s));
    const QDBusMessage quit = actionCall(QStringLiteral("quit"));
    EXPECT_EQ(quit.type(), QDBusMessage::ReplyMessage) << quit.errorMessage().toStdString();
    const bool ended = testing::waitUntil(
        [&] { return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid.value())); },
        "the activated Tovalit to quit", 30s);
    if (!ended)
        ::kill(pid_t(pid.value()), SIGKILL);
}

} // namespace
} // namespace tovalit
