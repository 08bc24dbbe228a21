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

template <typename Signal, typename Value>
void SettingsWatch::reportShortcutOnChange(Signal changed, Value &kept) {
    connect(&m_store, changed, this, [this, &kept](const Value &value) {
        if (value == kept)
            return;
        kept = value;
        reportShortcut();
    });
}

void SettingsWatch::watchShortcut(
    std::function<void(const ShortcutConfiguration &shortcut)> handler) {
    m_shortcutHandler = std::move(handler);
    m_shortcut = m_store.shortcutConfiguration();
    m_inputMonitoring = m_store.cachedInputMonitoringPermission();
    m_accessibility = m_store.cachedAccessibilityPermission();
    reportShortcutOnChange(&AppConfigurationStore::shortcutConfigurationChanged, m_shortcut);
    reportShortcutOnChange(&AppConfigurationStore::cachedInputMonitoringPermissionChanged,
                           m_inputMonitoring);
    reportShortcutOnChange(&AppConfigurationStore::cachedAccessibilityPermissionChanged,
                           m_accessibility);
    reportShortcut();
}

void SettingsWatch::reportShortcut() {
    m_shortcutHandler(m_shortcut);
}

} // namespace tovalit
