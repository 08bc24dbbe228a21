#include "services/shortcuts/function_key_press_tracker.h"

#include "models/shortcut_configuration.h"
#include "services/shortcuts/hotkey_modifier_interpreter.h"

namespace tovalit {

FunctionKeyEventHandling FunctionKeyPressTracker::evaluate(quint16 keyCode, bool isFunctionPressed,
                                                           double timestamp) {
    if (!HotkeyModifierInterpreter::isFunctionKeyEvent(keyCode))
        return FunctionKeyEventHandling::ignore;
    if (HotkeyModifierInterpreter::transcriptionTriggerDown(keyCode, isFunctionPressed,
                                                            ShortcutConfiguration::functionKey())) {
        if (this->isFunctionPressed)
            return FunctionKeyEventHandling::ignore;
        this->isFunctionPressed = true;
        return FunctionKeyEventHandling::began;
    }
    if (!this->isFunctionPressed)
        return FunctionKeyEventHandling::ignore;
    this->isFunctionPressed = false;
    lastReleaseTimestamp = timestamp;
    return FunctionKeyEventHandling::ended;
}

bool FunctionKeyPressTracker::canTrigger(double time) {
    return canTriggerOnRelease(time, lastReleaseTimestamp);
}

bool FunctionKeyPressTracker::canTriggerOnRelease(double time,
                                                  std::optional<double> previousReleaseTimestamp) {
    const bool allowed = !previousReleaseTimestamp || !lastTriggerTimestamp ||
                         *lastTriggerTimestamp > *previousReleaseTimestamp ||
                         time - *previousReleaseTimestamp >= minimumTriggerInterval;
    if (allowed)
        lastTriggerTimestamp = time;
    return allowed;
}

} // namespace tovalit
