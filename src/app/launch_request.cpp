#include "app/launch_request.h"

#include <QCommandLineParser>

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

} // namespace tovalit
