#include "state/shell/settings_watch.h"

#include "services/settings/app_configuration_store.h"

namespace tovalit {

SettingsWatch::SettingsWatch(AppConfigurationStore &store, QObject *parent)
    : QObject(parent)
    , m_store(store) {}

void SettingsWatch::watchMeetingMode(std::function<void(bool enabled)> handler) {
    m_meetingModeEnabled = m_store.meetingModeEnabled();
    connect(&m_store, &AppConfigurationStore::meetingModeEnabledChanged, this,
            [this, handler](bool enabled) {
                if (enabled == m_meetingModeEnabled)
                    return;
                m_meetingModeEnabled = enabled;
                handler(enabled);
            });
    handler(m_meetingModeEnabled);
}

void SettingsWatch::watchShortcut(
    std::function<void(const ShortcutConfiguration &shortcut)> handler) {
    m_shortcutHandler = std::move(handler);
    m_shortcut = m_store.shortcutConfiguration();
    m_inputMonitoring = m_store.cachedInputMonitoringPermission();
    m_accessibility = m_store.cachedAccessibilityPermission();
    connect(&m_store, &AppConfigurationStore::shortcutConfigurationChanged, this,
            [this](const ShortcutConfiguration &configuration) {
                if (configuration == m_shortcut)
                    return;
                m_shortcut = configuration;
                reportShortcut();
            });
    connect(&m_store, &AppConfigurationStore::cachedInputMonitoringPermissionChanged, this,
            [this](PermissionAuthorizationState state) {
                if (state == m_inputMonitoring)
                    return;
                m_inputMonitoring = state;
                reportShortcut();
            });
    connect(&m_store, &AppConfigurationStore::cachedAccessibilityPermissionChanged, this,
            [this](PermissionAuthorizationState state) {
                if (state == m_accessibility)
                    return;
                m_accessibility = state;
                reportShortcut();
            });
    reportShortcut();
}

void SettingsWatch::reportShortcut() {
    m_shortcutHandler(m_shortcut);
}

} // namespace tovalit
