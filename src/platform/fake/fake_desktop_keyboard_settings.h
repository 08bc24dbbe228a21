#pragma once

#include "platform/desktop_keyboard_settings.h"

#include <QObject>
#include <QStringList>

namespace tovalit {

// The desktop's keyboard settings for tests: holds our custom shortcut in
// memory, its keys described as the trigger they were written with
// ("CTRL+ALT+k"), records every write and removal ("write Tovalit：开始或停止录音
// | tovalit --action toggle-recording | CTRL+ALT+k", "remove"), fails as
// told, and lets the test change it as a user would in the desktop's
// settings. Tells of every change later, on the event loop, as a desktop
// does. GUI thread.
class FakeDesktopKeyboardSettings final : public QObject, public DesktopKeyboardSettings {
    Q_OBJECT

public:
    void setAvailable(bool available) { m_available = available; }
    void failWrites(std::optional<DesktopKeyboardSettingsError> error);
    // What the user leaves of ours in the desktop's settings; none: they
    // removed it.
    void changeAsUser(std::optional<DesktopCustomShortcut> shortcut);

    QStringList calls() const { return m_calls; }

    bool isAvailable() const override { return m_available; }
    std::optional<DesktopCustomShortcut> customShortcut() const override { return m_shortcut; }
    void writeCustomShortcut(const DesktopCustomShortcutRequest &request) override;
    void removeCustomShortcut() override;
    void setOnChange(std::function<void()> onChange) override;
    std::optional<KeyRepeat> keyRepeat() const override { return m_keyRepeat; }
    void setKeyRepeat(std::optional<KeyRepeat> repeat) { m_keyRepeat = repeat; }

private:
    void tellOfChange();

    bool m_available = true;
    std::optional<DesktopKeyboardSettingsError> m_writeFailure;
    std::optional<DesktopCustomShortcut> m_shortcut;
    std::function<void()> m_onChange;
    QStringList m_calls;
    std::optional<KeyRepeat> m_keyRepeat;
};

} // namespace tovalit
