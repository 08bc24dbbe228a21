#include "app/launch_request.h"

#include <QCommandLineParser>
#include <QFile>

#include <ctime>
#include <unistd.h>

namespace tovalit {

std::variant<LaunchRequest, QString> LaunchRequest::fromArguments(const QStringList &arguments) {
    QStringList names;
    for (DesktopAction action : allDesktopActions)
        names << desktopActionName(action);
    const QCommandLineOption actionOption(QStringLiteral("action"),
                                          QStringLiteral("One of: %1.").arg(names.join(u", ")),
                                          QStringLiteral("name"));
    const QCommandLineOption busOption(QStringLiteral("dbus-activated"),
                                       QStringLiteral("Started by the session bus."));
    QCommandLineParser parser;
    parser.addOption(actionOption);
    parser.addOption(busOption);
    if (!parser.parse(arguments))
        return parser.errorText();

    LaunchRequest request;
    request.activatedByBus = parser.isSet(busOption);
    if (parser.isSet(actionOption)) {
        const QString name = parser.value(actionOption);
        request.action = desktopActionNamed(name);
        if (!request.action) {
            return QStringLiteral("Unknown action '%1' (one of: %2).").arg(name, names.join(u", "));
        }
    }
    return request;
}

std::optional<double> secondsSinceProcessStart() {
    // The start time, in clock ticks since boot, is the 22nd field; the
    // program's name before it, in parentheses, may hold spaces and
    // parentheses of its own.
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.readAll();
    const qsizetype nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(nameEnd + 1).simplified().split(' ');
    constexpr qsizetype startTimeField = 22 - 3;
    if (fields.size() <= startTimeField)
        return std::nullopt;
    bool isNumber = false;
    const qulonglong ticks = fields[startTimeField].toULongLong(&isNumber);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    timespec now{};
    // The kernel counts that start time on the clock that includes suspend.
    if (!isNumber || ticksPerSecond <= 0 || clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return std::nullopt;
    const double seconds =
        double(now.tv_sec) + double(now.tv_nsec) / 1e9 - double(ticks) / double(ticksPerSecond);
    return seconds >= 0 ? std::optional<double>(seconds) : std::nullopt;
}

} // namespace tovalit
