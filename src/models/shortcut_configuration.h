#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace tovalit {

// Modifier-flag bits of a recorded key combination, as they are stored in
// the settings. The values are the persisted format, so they never change.
namespace ModifierFlag {
inline constexpr quint64 shift = 0x20000;
inline constexpr quint64 control = 0x40000;
inline constexpr quint64 option = 0x80000;
inline constexpr quint64 command = 0x100000;
inline constexpr quint64 function = 0x800000;
// The four flags a shortcut may carry.
inline constexpr quint64 shortcutMask = shift | control | option | command;
} // namespace ModifierFlag

// The one global recording shortcut: the bare Fn key, or a key
// combination with at least one modifier.
struct ShortcutConfiguration {
    enum class Kind { functionKey, keyboardShortcut };

    Kind kind = Kind::functionKey;
    std::optional<quint16> keyCode;
    quint64 modifiersRawValue = 0;
    QString keyDisplay = QStringLiteral("Fn");

    // The default everywhere: Fn, no key code, no modifiers.
    static ShortcutConfiguration functionKey();
    // A key combination; modifiers outside the four shortcut flags are dropped.
    static ShortcutConfiguration custom(quint16 keyCode, quint64 modifiers, QString keyDisplay);

    quint64 modifiers() const { return modifiersRawValue; }
    bool isFunctionKey() const { return kind == Kind::functionKey; }
    // "Fn", or the modifier symbols followed by the key ("⌥⌘K").
    QString displayName() const;
    // The hot-key modifier mask: command 0x100, shift 0x200, option 0x800,
    // control 0x1000.
    quint32 carbonModifiers() const;

    // "^⌥⇧⌘" order, only the flags present.
    static QString modifierSymbols(quint64 modifiers);
    static quint64 sanitizedModifiers(quint64 modifiers);

    // Compact JSON with the keys "kind", "keyCode" (left out when absent),
    // "modifiersRawValue", "keyDisplay", in that order.
    QByteArray toJson() const;
    // Nothing for malformed data: an unknown kind, a missing required key,
    // a value of the wrong type or out of range.
    static std::optional<ShortcutConfiguration> fromJson(const QByteArray &data);

    bool operator==(const ShortcutConfiguration &) const = default;
};

QString rawValue(ShortcutConfiguration::Kind kind);
std::optional<ShortcutConfiguration::Kind> shortcutKindFromRawValue(QStringView raw);

} // namespace tovalit
