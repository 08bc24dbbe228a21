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
        // Our own custom shortcut in the desktop's keyboard settings runs
        // `command`; we read back what the user left of it there.
        desktopKeybinding,
    };

    Way way = Way::none;
    // desktopPortal, desktopKeybinding: the keys that start a recording,
    // in the desktop's words, which need not be the ones recorded; empty
    // while there are none.
    QString desktopTrigger;
    // desktopAction, desktopKeybinding: the command line to bind.
    QString command;
    // desktopAction, desktopKeybinding: the desktop's keyboard settings
    // can take our own custom shortcut for the recorded combination (again),
    // if the user asks.
    bool offersDesktopKeybinding = false;

    static ShortcutRoute of(Way way, QString desktopTrigger = {}, QString command = {},
                            bool offersDesktopKeybinding = false) {
        return {way, std::move(desktopTrigger), std::move(command), offersDesktopKeybinding};
    }

    // What the user is told to do for the desktop-action way; the command
    // follows it.
    static QString desktopActionAdvice();

    bool operator==(const ShortcutRoute &) const = default;
};

} // namespace tovalit
