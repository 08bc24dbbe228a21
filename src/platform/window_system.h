#pragma once

#include <QList>
#include <QRectF>
#include <QString>

#include <optional>

namespace tovalit {

// An application with at least one window on the desktop.
struct RunningApplication {
    qint32 processIdentifier = 0;
    // The name people know it by, when known.
    std::optional<QString> localizedName;
    // A stable identifier of the application (its desktop entry, or its
    // window class), when known.
    std::optional<QString> bundleIdentifier;

    bool operator==(const RunningApplication &) const = default;
};

// One window of the on-screen list, front to back. A property the window
// system could not tell is absent.
struct WindowInfo {
    quint32 windowNumber = 0;
    std::optional<qint32> ownerProcessIdentifier;
    // 0 for ordinary application windows; docks, panels, menus and
    // the desktop sit on other layers.
    std::optional<int> layer;
    std::optional<double> alpha;
    // Global screen coordinates, origin at the top left of the screen.
    std::optional<QRectF> bounds;
    std::optional<QString> name;

    bool operator==(const WindowInfo &) const = default;
};

// The desktop's windows and applications.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // The application whose window has the keyboard focus, if any.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    virtual std::optional<RunningApplication> runningApplication(qint32 processIdentifier) = 0;
    virtual QList<RunningApplication> runningApplications(const QString &bundleIdentifier) = 0;
    // Brings the application's front window forward and gives it the
    // focus, even when another application is active. Whether the request
    // was sent.
    virtual bool activate(const RunningApplication &application) = 0;
    // The windows shown on screen, front to back, without the desktop.
    virtual QList<WindowInfo> onScreenWindows() = 0;
};

} // namespace tovalit
