// A service on the session bus that hangs: it owns a name and takes every
// call to it without ever answering, so callers wait for their time-out.
// Prints "ready" once the name is owned.
//
//   stalled_bus_name NAME

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <cstdio>

namespace {

class Silence final : public QDBusVirtualObject {
public:
    QString introspect(const QString &) const override { return {}; }
    // Taken, never answered.
    bool handleMessage(const QDBusMessage &, const QDBusConnection &) override { return true; }
};

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: stalled_bus_name NAME\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    Silence silence;
    if (!bus.registerVirtualObject(QStringLiteral("/"), &silence, QDBusConnection::SubPath) ||
        !bus.registerService(arguments[1])) {
        std::fprintf(stderr, "stalled_bus_name: cannot own %s\n", qPrintable(arguments[1]));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
