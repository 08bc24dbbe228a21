#pragma once

#include <QString>

namespace tovalit {

// Which way the recording shortcut reaches Tovalit, with what the settings
// card shows of it. In a Wayland session no application may grab keys for
// itself, so there the desktop holds the shortcut and tells us when it
// fires, or the user binds our recording command in the desktop's own
// keyboard settings.
struct ShortcutRoute {
    enum class Way {
        // Nothing installed: before the first start, or after a failed one.
        none,
        // The X server grabs the combination for us (X11 sessions).
        keyGrab,
        // The bare Fn key, read from the keyboard's event device.
        functionKeyDevice,
        // The desktop's global-shortcuts portal holds the combination.
        desktopPortal,
        // The user binds `command` in the desktop's keyboard settings; we
        // cannot see that binding.
        desktopAction,
    };

    Way way = Way::none;
    // desktopPortal: the desktop's own words for the keys it bound, which
    // need not be the ones asked for; empty while it reports none.
    QString desktopTrigger;
    // desktopAction: the command line to bind.
    QString command;

    static ShortcutRoute of(Way way, QString desktopTrigger = {}, QString command = {}) {
        return {way, std::move(desktopTrigger), std::move(command)};
    }

    // What the user is told to do for the desktop-action way; the command
    // follows it.
    static QString desktopActionAdvice();

    bool operator==(const ShortcutRoute &) const = default;
};

} // namespace tovalit
