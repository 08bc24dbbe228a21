#pragma once

#include <QtGlobal>

#include <optional>

namespace tovalit {

// Stored shortcuts name their key by the key's position on an ANSI
// keyboard, in the numbering the settings file has always used (K is 40,
// Space 49, Esc 53, Fn 63). These helpers translate between that numbering
// and the Linux input layer's key codes (<linux/input-event-codes.h>), which
// also name positions; an X server's key code is the input code plus 8.
namespace VirtualKeyCode {

inline constexpr quint16 returnKey = 36;
inline constexpr quint16 tab = 48;
inline constexpr quint16 space = 49;
inline constexpr quint16 deleteKey = 51;
inline constexpr quint16 escape = 53;
inline constexpr quint16 rightCommand = 54;
inline constexpr quint16 command = 55;
inline constexpr quint16 shift = 56;
inline constexpr quint16 capsLock = 57;
inline constexpr quint16 option = 58;
inline constexpr quint16 control = 59;
inline constexpr quint16 rightShift = 60;
inline constexpr quint16 rightOption = 61;
inline constexpr quint16 rightControl = 62;
inline constexpr quint16 function = 63;
inline constexpr quint16 leftArrow = 123;
inline constexpr quint16 rightArrow = 124;
inline constexpr quint16 downArrow = 125;
inline constexpr quint16 upArrow = 126;
// For keys the numbering has no place for.
inline constexpr quint16 unknown = 0xFFFF;

// Nothing for a key the stored numbering has no place for.
std::optional<quint16> fromInputCode(int inputCode);
std::optional<int> toInputCode(quint16 virtualKeyCode);

// Shift, Control, Option (Alt), Command (Super) and Caps Lock, either side.
bool isModifier(quint16 virtualKeyCode);

// The offset between input codes and X11 key codes.
inline constexpr int x11KeycodeOffset = 8;

} // namespace VirtualKeyCode

// Modifier-flag bits of key events and of a stored key combination. The
// values are the persisted format, so they never change.
namespace ModifierFlag {
inline constexpr quint64 shift = 0x20000;
inline constexpr quint64 control = 0x40000;
inline constexpr quint64 option = 0x80000;
inline constexpr quint64 command = 0x100000;
inline constexpr quint64 function = 0x800000;
// The four flags a shortcut may carry.
inline constexpr quint64 shortcutMask = shift | control | option | command;
} // namespace ModifierFlag

} // namespace tovalit
