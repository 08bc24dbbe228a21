#pragma once

#include "support/app_error.h"

#include <QString>

#include <functional>
#include <optional>

namespace tovalit {

// Why the desktop's keyboard settings did not take our shortcut.
class DesktopKeyboardSettingsError : public AppError {
public:
    explicit DesktopKeyboardSettingsError(QString detail = {});
    QString localizedDescription() const override;

private:
    QString m_detail;
};

// Our custom shortcut as we write it.
struct DesktopCustomShortcutRequest {
    // What the desktop lists it as.
    QString name;
    // The command line the desktop runs when the keys go down.
    QString command;
    // The keys, in the notation the desktop portal's global shortcuts use
    // ("CTRL+ALT+k").
    QString trigger;

    bool operator==(const DesktopCustomShortcutRequest &) const = default;
};

// Our custom shortcut as the desktop's settings hold it now, after whatever
// the user changed there.
struct DesktopCustomShortcut {
    QString name;
    QString command;
    // The keys in words ("Ctrl+Alt+K"); empty when it has none.
    QString triggerDescription;

    bool operator==(const DesktopCustomShortcut &) const = default;
};

// How the desktop repeats a key held down. Desktops send a shortcut again
// at each repeat of its keys: the first after `delaySeconds`, then every
// `intervalSeconds`.
struct KeyRepeat {
    bool enabled = true;
    double delaySeconds = 0.5;
    double intervalSeconds = 0.03;

    bool operator==(const KeyRepeat &) const = default;
};

// The desktop's own keyboard settings, where the user keeps custom
// shortcuts that run commands; the desktop grabs their keys itself. It
// holds at most one of ours, which is told from the user's own entries by
// where it is kept, never by its name or command, so that no entry of the
// user's is ever changed. GUI thread only.
class DesktopKeyboardSettings {
public:
    virtual ~DesktopKeyboardSettings() = default;

    // Whether this desktop's settings can hold a custom shortcut of ours,
    // and keep it.
    virtual bool isAvailable() const = 0;
    // Ours while the desktop lists it; none when it never did, or the user
    // removed it.
    virtual std::optional<DesktopCustomShortcut> customShortcut() const = 0;
    // Writes ours whole and lists it. Throws DesktopKeyboardSettingsError.
    virtual void writeCustomShortcut(const DesktopCustomShortcutRequest &request) = 0;
    // Unlists ours and forgets what it held; harmless when it is not
    // there. Throws DesktopKeyboardSettingsError.
    virtual void removeCustomShortcut() = 0;
    // Called on the GUI thread, later, after the settings changed: by our
    // writes or by the user's.
    virtual void setOnChange(std::function<void()> onChange) = 0;
    // How the desktop repeats held keys now; none where its settings do
    // not say.
    virtual std::optional<KeyRepeat> keyRepeat() const = 0;
};

} // namespace tovalit
