#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace tovalit {

// A key event addressed to one of the application's own windows.
struct LocalKeyEvent {
    // A key going down (repeats included), or the modifier flags changing
    // (a modifier key, Fn included, going down or up).
    enum class Type { keyDown, flagsChanged };

    Type type = Type::keyDown;
    // The stored key numbering (VirtualKeyCode; VirtualKeyCode::unknown for
    // keys it has no place for).
    quint16 keyCode = 0;
    // ModifierFlag bits in effect.
    quint64 modifierFlags = 0;
    // What the key types with no modifier but Shift; nothing for keys
    // that type nothing (dead keys, function keys) and for flag changes.
    std::optional<QString> charactersIgnoringModifiers;

    bool operator==(const LocalKeyEvent &) const = default;
};

// The application's own keyboard: monitors that see key events before the
// focused widget does, and the system beep.
class ApplicationKeyboard {
public:
    // Returns the event to let it through, or nothing to swallow it.
    using Monitor = std::function<std::optional<LocalKeyEvent>(const LocalKeyEvent &event)>;
    using MonitorToken = quint64;

    virtual ~ApplicationKeyboard() = default;

    // Monitors run on the GUI thread, newest first, for key-down and
    // flag-change events only.
    virtual MonitorToken addLocalMonitor(Monitor monitor) = 0;
    virtual void removeMonitor(MonitorToken token) = 0;
    virtual void beep() = 0;
};

} // namespace tovalit
