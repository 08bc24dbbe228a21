#include "app/desktop_action.h"

namespace tovalit {

QString desktopActionName(DesktopAction action) {
    switch (action) {
    case DesktopAction::openWindow:
        return QStringLiteral("open-window");
    case DesktopAction::toggleRecording:
        return QStringLiteral("toggle-recording");
    case DesktopAction::quit:
        return QStringLiteral("quit");
    }
    Q_UNREACHABLE();
}

std::optional<DesktopAction> desktopActionNamed(const QString &name) {
    for (DesktopAction action : allDesktopActions) {
        if (desktopActionName(action) == name)
            return action;
    }
    return std::nullopt;
}

} // namespace tovalit
