#include "services/shortcuts/hotkey_modifier_interpreter.h"

#include "models/shortcut_configuration.h"

namespace tovalit::HotkeyModifierInterpreter {

bool isFunctionKeyEvent(quint16 keyCode) {
    return keyCode == VirtualKeyCode::function;
}

bool transcriptionTriggerDown(quint16 keyCode, bool isFunctionPressed,
                              const ShortcutConfiguration &configuration) {
    // A key combination is taken over by the hot-key service, never read
    // from the tap.
    return configuration.isFunctionKey() && isFunctionKeyEvent(keyCode) && isFunctionPressed;
}

} // namespace tovalit::HotkeyModifierInterpreter
