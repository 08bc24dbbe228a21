#pragma once

#include "platform/desktop_keyboard_settings.h"

#include <QObject>

#include <memory>

using GSettings = struct _GSettings;

namespace tovalit {

// GNOME's keyboard settings through GSettings. GNOME's settings daemon
// grabs the keys of the custom shortcuts listed in its media-keys plugin's
// settings (schema org.gnome.settings-daemon.plugins.media-keys, key
// custom-keybindings): each is a path where the relocatable schema
// org.gnome.settings-daemon.plugins.media-keys.custom-keybinding keeps a
// name, a command and a binding. Ours lives at a path of its own, which
// GNOME's settings never choose (they number theirs custom0, custom1 ...).
// Holds nothing where the schema is not installed, or where settings would
// not outlive the process (no dconf). How keys repeat is read from the
// desktop's keyboard settings (schema org.gnome.desktop.peripherals.keyboard)
// wherever that schema is installed. GUI thread only; changes are heard
// through GLib's main loop, which Qt's event loop runs.
class GnomeKeyboardSettings final : public QObject, public DesktopKeyboardSettings {
    Q_OBJECT

public:
    struct Location {
        // A key file to keep the settings in instead of the desktop's
        // database; empty: the desktop's.
        QString keyFile;
        // The folder of compiled schemas to look in instead of the
        // installed ones; empty: the installed ones.
        QString schemaFolder;
    };

    static inline const QString customShortcutPath =
        QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"
                       "tovalit-toggle-recording/");

    explicit GnomeKeyboardSettings(Location location = {}, QObject *parent = nullptr);
    ~GnomeKeyboardSettings() override;

    bool isAvailable() const override;
    std::optional<DesktopCustomShortcut> customShortcut() const override;
    void writeCustomShortcut(const DesktopCustomShortcutRequest &request) override;
    void removeCustomShortcut() override;
    void setOnChange(std::function<void()> onChange) override;
    std::optional<KeyRepeat> keyRepeat() const override;

private:
    struct Unref {
        void operator()(GSettings *settings) const;
    };
    using Settings = std::unique_ptr<GSettings, Unref>;

    void open(const Location &location);
    void openKeyboard(const Location &location);
    bool isListed() const;
    // Hands the settings' change to m_onChange once the event loop runs;
    // changes until then go with it.
    void noticeChange();
    static void changed(GSettings *settings, const char *key, void *self);

    Settings m_list;
    Settings m_entry;
    Settings m_keyboard;
    // Why nothing is offered, for the error a write gives.
    QString m_unavailable;
    std::function<void()> m_onChange;
    bool m_isChangeNoticed = false;
};

} // namespace tovalit
