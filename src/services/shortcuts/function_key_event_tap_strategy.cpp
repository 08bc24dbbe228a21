#include "services/shortcuts/function_key_event_tap_strategy.h"

#include "services/shortcuts/hotkey_modifier_interpreter.h"

namespace tovalit::FunctionKeyEventTapStrategy {

FunctionKeyEventTapConfiguration configuration() {
    return {EventTapLocation::hid, EventTapPlacement::headInsert, EventTapOptions::defaultTap, true,
            true};
}

FunctionKeyEventDisposition disposition(KeyboardTapEvent::Type type, quint16 keyCode,
                                        FunctionKeyEventHandling) {
    if (type == KeyboardTapEvent::Type::flagsChanged &&
        HotkeyModifierInterpreter::isFunctionKeyEvent(keyCode))
        return FunctionKeyEventDisposition::suppress;
    return FunctionKeyEventDisposition::passThrough;
}

std::optional<KeyboardTapEvent> forwardedEvent(FunctionKeyEventDisposition disposition,
                                               const KeyboardTapEvent &original) {
    if (disposition == FunctionKeyEventDisposition::suppress)
        return std::nullopt;
    return original;
}

} // namespace tovalit::FunctionKeyEventTapStrategy
