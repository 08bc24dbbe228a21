#pragma once

#include "app/desktop_action.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace tovalit {

// What one start of the executable asks for, from its command line:
//   tovalit                   the main window;
//   tovalit --action <name>   a desktop action (desktop_action.h), as the
//                             desktop entry's actions start it;
//   tovalit --dbus-activated  nothing yet: the session bus started the
//                             process for a call to the application
//                             interface, which says what is wanted.
struct LaunchRequest {
    std::optional<DesktopAction> action;
    bool activatedByBus = false;

    // `arguments` as QCoreApplication::arguments() gives them, the program
    // first. The message for the terminal when they are not understood.
    static std::variant<LaunchRequest, QString> fromArguments(const QStringList &arguments);
};

// Seconds since this process was started, from when the system started it
// (before it loaded anything); none where the system does not say. A
// desktop starts `tovalit --action toggle-recording` at each repeat of a
// held shortcut, and the launches take their own, uneven time to reach the
// running Tovalit: told when each began, it finds the repeats among them.
std::optional<double> secondsSinceProcessStart();

} // namespace tovalit
