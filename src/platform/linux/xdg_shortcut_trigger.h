#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tovalit {

// A stored key combination in the desktop portal's shortcut notation,
// which desktops take a preferred trigger in: the
// modifiers CTRL, ALT, SHIFT and LOGO, then the key's keysym name on the
// keyboard's base level, joined by "+" ("CTRL+ALT+k", "LOGO+space").
// `keyCode` is the stored key position (see VirtualKeyCode), `modifiers`
// the stored modifier flags (ModifierFlag), `keyDisplay` what the key typed
// when it was recorded. Empty when the key has no such name.
QString xdgShortcutTrigger(std::optional<quint16> keyCode, quint64 modifiers,
                           const QString &keyDisplay);

} // namespace tovalit
