#pragma once

#include <QtGlobal>

namespace tovalit {

struct ShortcutConfiguration;

// Reading keyboard events against the recording shortcut.
namespace HotkeyModifierInterpreter {

// Whether the event is the Fn key's own (key code 63).
bool isFunctionKeyEvent(quint16 keyCode);
// Whether the event puts the shortcut down: for the Fn shortcut, the Fn
// key's event with the Fn flag set.
bool transcriptionTriggerDown(quint16 keyCode, bool isFunctionPressed,
                              const ShortcutConfiguration &configuration);

} // namespace HotkeyModifierInterpreter

} // namespace tovalit
