#pragma once

#include "models/shortcut_configuration.h"
#include "platform/desktop_keyboard_settings.h"

#include <QObject>

#include <memory>
#include <optional>

namespace tovalit {

// Tovalit's own custom shortcut in the desktop's keyboard settings, which
// runs the recording command: where the desktop holds no global shortcuts
// for applications (GNOME before its global-shortcuts portal), the desktop
// grabs the keys itself and starts the command, which reaches the running
// Tovalit. Written only when the user asks for it; afterwards the hotkey
// monitor keeps it in step with the recorded combination and reads it back
// for what the settings card shows, since the user may change or remove it
// in the desktop's settings. GUI thread.
class DesktopKeybinding : public QObject {
    Q_OBJECT

public:
    // What the desktop's settings list ours as.
    static inline const QString name = QStringLiteral("Tovalit：开始或停止录音");

    // `command` is what ours runs: the desktop entry's recording action.
    DesktopKeybinding(std::shared_ptr<DesktopKeyboardSettings> settings, QString command,
                      QObject *parent = nullptr);
    ~DesktopKeybinding() override;

    QString command() const { return m_command; }
    // Whether the desktop's settings can hold ours for `configuration`: a
    // key combination whose key the desktop has a name for.
    bool canHold(const ShortcutConfiguration &configuration) const;
    // Ours as the desktop holds it now; none when the desktop does not
    // list it.
    std::optional<DesktopCustomShortcut> current() const;
    // Whether `shortcut` runs our recording command (the user may have
    // changed it).
    bool runsOurCommand(const DesktopCustomShortcut &shortcut) const;
    // Writes ours for `configuration`, running our command. Throws
    // DesktopKeyboardSettingsError.
    void hold(const ShortcutConfiguration &configuration);
    // Removes ours; harmless when it is not there. Throws
    // DesktopKeyboardSettingsError.
    void release();

Q_SIGNALS:
    // The desktop's settings changed, by our hand or by the user's; told
    // later, on the event loop.
    void changed();

private:
    std::shared_ptr<DesktopKeyboardSettings> m_settings;
    QString m_command;
};

} // namespace tovalit
