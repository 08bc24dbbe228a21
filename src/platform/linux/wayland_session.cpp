#include "platform/linux/wayland_session.h"

#include <QtGlobal>

namespace tovalit {

bool isWaylandSession() {
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace tovalit
