#pragma once

#include "platform/linux/desktop_entry_index.h"
#include "platform/window_system.h"

#include <memory>

namespace tovalit {

class XcbConnection;

// Windows and applications of an X11 desktop, from the window manager's
// EWMH properties. An application is the set of top-level windows of one
// process; its identity comes from its desktop entry when one matches the
// window class, else from the window class itself. Safe to use from any
// thread.
class X11WindowSystem final : public WindowSystem {
public:
    // `connection` may be null (no X server): then there are no windows.
    X11WindowSystem(std::shared_ptr<XcbConnection> connection,
                    std::shared_ptr<DesktopEntryIndex> desktopEntries);

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<RunningApplication> runningApplication(qint32 processIdentifier) override;
    QList<RunningApplication> runningApplications(const QString &bundleIdentifier) override;
    bool activate(const RunningApplication &application) override;
    QList<WindowInfo> onScreenWindows() override;

    // The window with the keyboard focus: its process, title and place.
    std::optional<WindowInfo> focusedWindow();

private:
    struct ClientWindow {
        quint32 window = 0;
        std::optional<qint32> processIdentifier;
    };
    // Top-level client windows, front to back.
    QList<ClientWindow> clientWindowsFrontToBack();
    std::optional<quint32> focusedClientWindow();
    std::optional<RunningApplication> applicationOf(quint32 window, qint32 processIdentifier);

    std::shared_ptr<XcbConnection> m_connection;
    std::shared_ptr<DesktopEntryIndex> m_desktopEntries;
};

} // namespace tovalit
