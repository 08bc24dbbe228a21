#include "platform/display_session.h"

namespace tovalit {

DisplaySession DisplaySession::fromEnvironment() {
    return DisplaySession{qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
                          !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")};
}

bool DisplaySession::xServerKnowsFocusedWindow(std::optional<qint32> activeXWindowProcess,
                                               std::optional<qint32> focusedProcess) const {
    if (!wayland)
        return true;
    // A compositor clears the X server's active window while one of its
    // own windows has the focus; one that does not still leaves it with
    // another process than the focused one.
    return activeXWindowProcess && (!focusedProcess || *focusedProcess == *activeXWindowProcess);
}

} // namespace tovalit
