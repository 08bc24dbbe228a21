#pragma once

#include "platform/application_keyboard.h"
#include "platform/virtual_key_code.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

namespace tovalit {

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
    // "Fn", or the modifiers and the key joined with "+" as Linux desktops
    // write them ("Alt+Super+K"). Only what is shown is Linux: the stored
    // flags keep their names (option is Alt, command is Super) and the key
    // at the Delete position, a PC keyboard's Backspace, keeps its stored
    // text.
    QString displayName() const;
    // The hot-key modifier mask: command 0x100, shift 0x200, option 0x800,
    // control 0x1000.
    quint32 carbonModifiers() const;

    // "Ctrl", "Alt", "Shift", "Super" in that order, only the flags present.
    static QStringList modifierNames(quint64 modifiers);
    static quint64 sanitizedModifiers(quint64 modifiers);

    // What a key is shown as: a name for Return, Tab, Space, Delete, Esc
    // and the arrows; otherwise what it types, trimmed, one character
    // upper-cased; nothing for a key that types nothing.
    static std::optional<QString> keyDisplayFor(const LocalKeyEvent &event);
    // The Fn key's own flag change gives the Fn configuration; a key
    // going down with at least one of the four modifiers and a display
    // text gives that combination; anything else gives nothing.
    static std::optional<ShortcutConfiguration> captured(const LocalKeyEvent &event);

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
