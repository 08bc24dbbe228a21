#include "services/shortcuts/desktop_keybinding.h"

#include "platform/linux/xdg_shortcut_trigger.h"

namespace tovalit {

namespace {

QString triggerOf(const ShortcutConfiguration &configuration) {
    if (configuration.isFunctionKey())
        return {};
    return xdgShortcutTrigger(configuration.keyCode, configuration.modifiersRawValue,
                              configuration.keyDisplay);
}

} // namespace

DesktopKeybinding::DesktopKeybinding(std::shared_ptr<DesktopKeyboardSettings> settings,
                                     QString command, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_command(std::move(command)) {
    Q_ASSERT(m_settings);
    m_settings->setOnChange([this] { Q_EMIT changed(); });
}

DesktopKeybinding::~DesktopKeybinding() {
    m_settings->setOnChange({});
}

bool DesktopKeybinding::canHold(const ShortcutConfiguration &configuration) const {
    return m_settings->isAvailable() && !triggerOf(configuration).isEmpty();
}

std::optional<DesktopCustomShortcut> DesktopKeybinding::current() const {
    return m_settings->customShortcut();
}

bool DesktopKeybinding::runsOurCommand(const DesktopCustomShortcut &shortcut) const {
    return shortcut.command.trimmed() == m_command;
}

void DesktopKeybinding::hold(const ShortcutConfiguration &configuration) {
    const QString trigger = triggerOf(configuration);
    if (trigger.isEmpty())
        throw DesktopKeyboardSettingsError(QStringLiteral("这个按键在桌面的设置里没有名字"));
    m_settings->writeCustomShortcut({name, m_command, trigger});
}

void DesktopKeybinding::release() {
    m_settings->removeCustomShortcut();
}

} // namespace tovalit
