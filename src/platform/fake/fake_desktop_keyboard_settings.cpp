#include "platform/fake/fake_desktop_keyboard_settings.h"

#include <QMetaObject>

namespace tovalit {

void FakeDesktopKeyboardSettings::failWrites(std::optional<DesktopKeyboardSettingsError> error) {
    m_writeFailure = std::move(error);
}

void FakeDesktopKeyboardSettings::changeAsUser(std::optional<DesktopCustomShortcut> shortcut) {
    m_shortcut = std::move(shortcut);
    tellOfChange();
}

void FakeDesktopKeyboardSettings::writeCustomShortcut(const DesktopCustomShortcutRequest &request) {
    m_calls.append(
        QStringLiteral("write %1 | %2 | %3").arg(request.name, request.command, request.trigger));
    if (m_writeFailure)
        throw *m_writeFailure;
    m_shortcut = DesktopCustomShortcut{request.name, request.command, request.trigger};
    tellOfChange();
}

void FakeDesktopKeyboardSettings::removeCustomShortcut() {
    m_calls.append(QStringLiteral("remove"));
    if (m_writeFailure)
        throw *m_writeFailure;
    m_shortcut.reset();
    tellOfChange();
}

void FakeDesktopKeyboardSettings::setOnChange(std::function<void()> onChange) {
    m_onChange = std::move(onChange);
}

void FakeDesktopKeyboardSettings::tellOfChange() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_onChange)
                m_onChange();
        },
        Qt::QueuedConnection);
}

} // namespace tovalit
