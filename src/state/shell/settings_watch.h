#pragma once

#include "models/permission_authorization_state.h"
#include "models/shortcut_configuration.h"

#include <QObject>

#include <functional>

namespace tovalit {

class AppConfigurationStore;

// The settings the controller acts on, reported when they change: the
// store announces every assignment, also of an unchanged value, and a
// handler that restarted the shortcut monitor on each would drop a press.
class SettingsWatch : public QObject {
    Q_OBJECT

public:
    explicit SettingsWatch(AppConfigurationStore &store, QObject *parent = nullptr);
    SettingsWatch(const SettingsWatch &) = delete;
    SettingsWatch &operator=(const SettingsWatch &) = delete;

    // The meeting switch: at once with its current value, then on each
    // change.
    void watchMeetingMode(std::function<void(bool enabled)> handler);
    // The recording shortcut and the two permissions it depends on (a
    // shortcut that could not be installed may work once access is
    // given): at once, then on each change of any of them, with the
    // shortcut as it stands.
    void watchShortcut(std::function<void(const ShortcutConfiguration &shortcut)> handler);

private:
    void reportShortcut();
    // Keeps `kept` as the store's `changed` announces it, and reports the
    // shortcut when it really changed.
    template <typename Signal, typename Value>
    void reportShortcutOnChange(Signal changed, Value &kept);

    AppConfigurationStore &m_store;
    bool m_meetingModeEnabled = false;
    ShortcutConfiguration m_shortcut;
    PermissionAuthorizationState m_inputMonitoring = PermissionAuthorizationState::notDetermined;
    PermissionAuthorizationState m_accessibility = PermissionAuthorizationState::notDetermined;
    std::function<void(const ShortcutConfiguration &)> m_shortcutHandler;
};

} // namespace tovalit
