// A keyboard for the seat of a headless GNOME compositor. Headless mutter
// has no input device, so it never activates a window and no field is ever
// focused; a remote-desktop session of mutter's own gives the seat a
// virtual keyboard, and one key pressed through it lets windows activate
// as on a real desktop. The session lasts as long as this process's bus
// connection, so the process stays until it is stopped. Prints "ready"
// once the key went through.
//
//   seat_keyboard

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QThread>

#include <chrono>
#include <cstdio>

namespace {

const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
// A lone Shift: it types nothing into whatever window gets the focus.
constexpr uint shiftKeysym = 0xffe1;

int failure(const char *step, const QDBusError &error) {
    std::fprintf(stderr, "seat_keyboard: %s: %s\n", step, qPrintable(error.message()));
    return 1;
}

// Mutter starts this as soon as its display is up, and takes its
// remote-desktop name on the bus a moment later, seconds later on a loaded
// machine: the name is waited for (within the time the session gives the
// keyboard), so that the compositor's start does not fail on it.
bool serviceAppeared(QDBusConnection &bus) {
    const QDeadlineTimer limit(std::chrono::seconds(25));
    for (;;) {
        const QDBusReply<bool> registered = bus.interface()->isServiceRegistered(service);
        if (registered.isValid() && registered.value())
            return true;
        if (limit.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return failure("session bus", bus.lastError());
    if (!serviceAppeared(bus)) {
        std::fprintf(stderr, "seat_keyboard: %s did not appear on the session bus\n",
                     qPrintable(service));
        return 1;
    }

    QDBusInterface remoteDesktop(service, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                 service, bus);
    const QDBusReply<QDBusObjectPath> created = remoteDesktop.call(QStringLiteral("CreateSession"));
    if (!created.isValid())
        return failure("CreateSession", created.error());
    const QString path = created.value().path();

    QDBusInterface session(service, path, service + QStringLiteral(".Session"), bus);
    const QDBusReply<void> started = session.call(QStringLiteral("Start"));
    if (!started.isValid())
        return failure("Start", started.error());
    for (const bool pressed : {true, false}) {
        const QDBusReply<void> key =
            session.call(QStringLiteral("NotifyKeyboardKeysym"), shiftKeysym, pressed);
        if (!key.isValid())
            return failure("NotifyKeyboardKeysym", key.error());
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
