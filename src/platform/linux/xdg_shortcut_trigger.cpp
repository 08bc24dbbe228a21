#include "platform/linux/xdg_shortcut_trigger.h"

#include "platform/virtual_key_code.h"

#include <utility>
#include <xkbcommon/xkbcommon.h>

namespace tovalit {

namespace {

// Keys whose name does not depend on the layout, by position.
constexpr std::pair<quint16, const char *> namedKeys[] = {
    {0x24, "Return"},     {0x30, "Tab"},         {0x31, "space"},    {0x33, "BackSpace"},
    {0x35, "Escape"},     {0x75, "Delete"},      {0x73, "Home"},     {0x77, "End"},
    {0x74, "Prior"},      {0x79, "Next"},        {0x7B, "Left"},     {0x7C, "Right"},
    {0x7D, "Down"},       {0x7E, "Up"},          {0x7A, "F1"},       {0x78, "F2"},
    {0x63, "F3"},         {0x76, "F4"},          {0x60, "F5"},       {0x61, "F6"},
    {0x62, "F7"},         {0x64, "F8"},          {0x65, "F9"},       {0x6D, "F10"},
    {0x67, "F11"},        {0x6F, "F12"},         {0x69, "F13"},      {0x6B, "F14"},
    {0x71, "F15"},        {0x6A, "F16"},         {0x40, "F17"},      {0x4F, "F18"},
    {0x50, "F19"},        {0x5A, "F20"},         {0x52, "KP_0"},     {0x53, "KP_1"},
    {0x54, "KP_2"},       {0x55, "KP_3"},        {0x56, "KP_4"},     {0x57, "KP_5"},
    {0x58, "KP_6"},       {0x59, "KP_7"},        {0x5B, "KP_8"},     {0x5C, "KP_9"},
    {0x41, "KP_Decimal"}, {0x43, "KP_Multiply"}, {0x45, "KP_Add"},   {0x4B, "KP_Divide"},
    {0x4C, "KP_Enter"},   {0x4E, "KP_Subtract"}, {0x51, "KP_Equal"},
};

// The name of the keysym that types `display` on the base level: a single
// character, lower-cased (recording upper-cases a lone character).
QString keysymNameOf(const QString &display) {
    const QList<uint> characters = display.toUcs4();
    if (characters.size() != 1)
        return {};
    const xkb_keysym_t keysym = xkb_utf32_to_keysym(QChar::toLower(characters.first()));
    if (keysym == XKB_KEY_NoSymbol)
        return {};
    char name[64];
    if (xkb_keysym_get_name(keysym, name, sizeof name) <= 0)
        return {};
    return QString::fromLatin1(name);
}

} // namespace

QString xdgShortcutTrigger(std::optional<quint16> keyCode, quint64 modifiers,
                           const QString &keyDisplay) {
    QString key;
    if (keyCode) {
        for (const auto &[position, name] : namedKeys) {
            if (position == *keyCode)
                key = QString::fromLatin1(name);
        }
    }
    if (key.isEmpty())
        key = keysymNameOf(keyDisplay);
    if (key.isEmpty())
        return {};
    QString trigger;
    if (modifiers & ModifierFlag::control)
        trigger += QStringLiteral("CTRL+");
    if (modifiers & ModifierFlag::option)
        trigger += QStringLiteral("ALT+");
    if (modifiers & ModifierFlag::shift)
        trigger += QStringLiteral("SHIFT+");
    if (modifiers & ModifierFlag::command)
        trigger += QStringLiteral("LOGO+");
    return trigger + key;
}

} // namespace tovalit
