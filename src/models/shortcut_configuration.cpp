#include "models/shortcut_configuration.h"

#include "support/json_text.h"
#include "support/ordered_json.h"
#include "support/textkit.h"

#include <limits>

namespace tovalit {

QString rawValue(ShortcutConfiguration::Kind kind) {
    switch (kind) {
    case ShortcutConfiguration::Kind::functionKey:
        return QStringLiteral("functionKey");
    case ShortcutConfiguration::Kind::keyboardShortcut:
        return QStringLiteral("keyboardShortcut");
    }
    return {};
}

std::optional<ShortcutConfiguration::Kind> shortcutKindFromRawValue(QStringView raw) {
    if (raw == u"functionKey")
        return ShortcutConfiguration::Kind::functionKey;
    if (raw == u"keyboardShortcut")
        return ShortcutConfiguration::Kind::keyboardShortcut;
    return std::nullopt;
}

ShortcutConfiguration ShortcutConfiguration::functionKey() {
    return {};
}

ShortcutConfiguration ShortcutConfiguration::custom(quint16 keyCode, quint64 modifiers,
                                                    QString keyDisplay) {
    return {Kind::keyboardShortcut, keyCode, sanitizedModifiers(modifiers), std::move(keyDisplay)};
}

QString ShortcutConfiguration::displayName() const {
    if (isFunctionKey())
        return QStringLiteral("Fn");
    QStringList parts = modifierNames(modifiersRawValue);
    // Recorded as "Delete" by position; the key there is labelled
    // Backspace, and a PC's own Delete key is a different one.
    parts << (keyCode == VirtualKeyCode::deleteKey ? QStringLiteral("Backspace") : keyDisplay);
    return parts.join(u'+');
}

quint32 ShortcutConfiguration::carbonModifiers() const {
    quint32 mask = 0;
    if (modifiersRawValue & ModifierFlag::command)
        mask |= 0x100;
    if (modifiersRawValue & ModifierFlag::shift)
        mask |= 0x200;
    if (modifiersRawValue & ModifierFlag::option)
        mask |= 0x800;
    if (modifiersRawValue & ModifierFlag::control)
        mask |= 0x1000;
    return mask;
}

QStringList ShortcutConfiguration::modifierNames(quint64 modifiers) {
    QStringList names;
    if (modifiers & ModifierFlag::control)
        names << QStringLiteral("Ctrl");
    if (modifiers & ModifierFlag::option)
        names << QStringLiteral("Alt");
    if (modifiers & ModifierFlag::shift)
        names << QStringLiteral("Shift");
    if (modifiers & ModifierFlag::command)
        names << QStringLiteral("Super");
    return names;
}

quint64 ShortcutConfiguration::sanitizedModifiers(quint64 modifiers) {
    return modifiers & ModifierFlag::shortcutMask;
}

std::optional<QString> ShortcutConfiguration::keyDisplayFor(const LocalKeyEvent &event) {
    switch (event.keyCode) {
    case VirtualKeyCode::returnKey:
        return QStringLiteral("Return");
    case VirtualKeyCode::tab:
        return QStringLiteral("Tab");
    case VirtualKeyCode::space:
        return QStringLiteral("Space");
    case VirtualKeyCode::deleteKey:
        return QStringLiteral("Delete");
    case VirtualKeyCode::escape:
        return QStringLiteral("Esc");
    case VirtualKeyCode::leftArrow:
        return QStringLiteral("←");
    case VirtualKeyCode::rightArrow:
        return QStringLiteral("→");
    case VirtualKeyCode::downArrow:
        return QStringLiteral("↓");
    case VirtualKeyCode::upArrow:
        return QStringLiteral("↑");
    default:
        break;
    }
    if (!event.charactersIgnoringModifiers)
        return std::nullopt;
    const QString characters = textkit::trimmed(*event.charactersIgnoringModifiers);
    if (characters.isEmpty())
        return std::nullopt;
    if (textkit::graphemeCount(characters) == 1)
        return characters.toUpper();
    return characters;
}

std::optional<ShortcutConfiguration> ShortcutConfiguration::captured(const LocalKeyEvent &event) {
    if (event.type == LocalKeyEvent::Type::flagsChanged) {
        if (event.modifierFlags & ModifierFlag::function)
            return functionKey();
        return std::nullopt;
    }
    if (!(event.modifierFlags & ModifierFlag::shortcutMask))
        return std::nullopt;
    const auto display = keyDisplayFor(event);
    if (!display)
        return std::nullopt;
    return custom(event.keyCode, event.modifierFlags, *display);
}

QByteArray ShortcutConfiguration::toJson() const {
    json::OrderedObjectWriter writer;
    writer.add(u"kind", rawValue(kind));
    if (keyCode)
        writer.add(u"keyCode", static_cast<qint64>(*keyCode));
    // Raw values beyond the signed range cannot come from a real event;
    // they are written as the nearest number JSON can carry.
    writer.add(u"modifiersRawValue",
               modifiersRawValue <= quint64(std::numeric_limits<qint64>::max())
                   ? QJsonValue(static_cast<qint64>(modifiersRawValue))
                   : QJsonValue(static_cast<double>(modifiersRawValue)));
    writer.add(u"keyDisplay", keyDisplay);
    return writer.compact();
}

std::optional<ShortcutConfiguration> ShortcutConfiguration::fromJson(const QByteArray &data) {
    const auto object = json::parseObject(data);
    if (!object)
        return std::nullopt;
    const auto kindText = json::string(*object, u"kind");
    const auto modifiers = json::integer(*object, u"modifiersRawValue");
    const auto display = json::string(*object, u"keyDisplay");
    if (!kindText || !modifiers || *modifiers < 0 || !display)
        return std::nullopt;
    const auto kind = shortcutKindFromRawValue(*kindText);
    if (!kind)
        return std::nullopt;

    ShortcutConfiguration configuration{*kind, std::nullopt, static_cast<quint64>(*modifiers),
                                        *display};
    const QJsonValue keyCodeValue = object->value(u"keyCode");
    if (!keyCodeValue.isUndefined() && !keyCodeValue.isNull()) {
        const auto code = json::integer(*object, u"keyCode");
        if (!code || *code < 0 || *code > 0xFFFF)
            return std::nullopt;
        configuration.keyCode = static_cast<quint16>(*code);
    }
    return configuration;
}

} // namespace tovalit
