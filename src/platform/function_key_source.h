#pragma once

#include "platform/virtual_key_code.h"

#include <QtGlobal>

#include <functional>

namespace tovalit {

// Where a keyboard tap sits and what it may do; the Fn key's tap always
// asks for the first position with the right to drop events.
enum class EventTapLocation { hid, session, annotatedSession };
enum class EventTapPlacement { headInsert, tailAppend };
enum class EventTapOptions { defaultTap, listenOnly };

struct FunctionKeyEventTapConfiguration {
    EventTapLocation location = EventTapLocation::hid;
    EventTapPlacement placement = EventTapPlacement::headInsert;
    EventTapOptions options = EventTapOptions::defaultTap;
    bool requiresInputMonitoring = true;
    bool requiresAccessibility = true;

    bool operator==(const FunctionKeyEventTapConfiguration &) const = default;
};

// One keyboard event as a tap sees it. Modifier keys (Fn included) do not
// go down or up: each press and release changes the modifier flags.
struct KeyboardTapEvent {
    enum class Type { keyDown, keyUp, flagsChanged, tapDisabledByTimeout, tapDisabledByUserInput };

    Type type = Type::keyDown;
    // The stored key numbering (VirtualKeyCode); unknownKeyCode for keys it
    // has no place for.
    quint16 keyCode = 0;
    // ModifierFlag bits in effect after the event (function 0x800000 while
    // Fn is down).
    quint64 flags = 0;
    // Nanoseconds on the monotonic clock; 0 when the source cannot tell.
    quint64 timestamp = 0;

    static constexpr quint16 unknownKeyCode = VirtualKeyCode::unknown;

    bool operator==(const KeyboardTapEvent &) const = default;
};

// What the tap does with an event: hand it on, or drop it so that neither
// applications nor the system see it.
enum class FunctionKeyEventDisposition { passThrough, suppress };

// How starting a tap went.
enum class FunctionKeyTapStart {
    started,
    // No tap can be made (typically: no keyboard may be read).
    unavailable,
    // Keyboards can be read, but none of them reports the Fn key: many
    // handle it in their firmware and never tell the system.
    noFunctionKey,
};

// A system-wide keyboard tap that sees the bare Fn key. Events arrive on a
// thread of the source's own.
class FunctionKeySource {
public:
    using Handler = std::function<FunctionKeyEventDisposition(const KeyboardTapEvent &event)>;

    virtual ~FunctionKeySource() = default;

    // Starts tapping, or says why it cannot; after a failure nothing runs. A
    // source that cannot drop events follows the configuration as far as
    // it can and ignores the disposition.
    virtual FunctionKeyTapStart start(const FunctionKeyEventTapConfiguration &configuration,
                                      Handler handler) = 0;
    // Stops tapping. When it returns the handler is not running and will not
    // be called again. Never call it from the handler.
    virtual void stop() = 0;
    // Turns a tap back on after it reported itself disabled.
    virtual void enable() = 0;
};

} // namespace tovalit
