#pragma once

#include <QString>

namespace tovalit {

// GNOME's notation for keys, as its keyboard settings keep them and its
// compositor grabs them: the modifiers in angle brackets, then the key's
// keysym name ("<Control><Alt>k", "<Super>space").

// `trigger` (the freedesktop shortcuts notation, "CTRL+ALT+k", as
// xdgShortcutTrigger() makes it) in GNOME's notation; empty when it is not
// one.
QString gnomeAccelerator(const QString &trigger);

// `accelerator` in the words the settings card uses for keys
// ("Ctrl+Alt+K"); empty for no keys ("" or "disabled"); unchanged when it
// is not in GNOME's notation, so that nothing the user wrote is hidden.
QString gnomeAcceleratorLabel(const QString &accelerator);

} // namespace tovalit
