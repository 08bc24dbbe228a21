#pragma once

#include "models/permission_state.h"
#include "models/shortcut_activation_state.h"
#include "views/design/tovalit_page_scroll_view.h"
#include "views/settings/shortcut_settings_view.h"

class QCheckBox;
class QVBoxLayout;

namespace tovalit {

class AppConfigurationStore;
class PermissionCoordinator;
class SegmentedPicker;
class TovalitBadge;
class TovalitSwitch;
class TovalitSymbolView;

// The settings page: the speech engine, the cleanup modes and the meeting
// switch, the three permissions with their repairs, the recording
// shortcut, and the language and delivery preferences. Every control
// writes the settings store at once (which saves); the permission rows
// follow the permission coordinator, which the page asks to check again
// whenever it is shown.
class SettingsView : public TovalitPageScrollView {
    Q_OBJECT

public:
    // Both objects must outlive the page.
    SettingsView(AppConfigurationStore &configurationStore,
                 PermissionCoordinator &permissionCoordinator,
                 ShortcutActivationState shortcutActivationState,
                 ShortcutSettingsView::Dependencies shortcutDependencies,
                 QWidget *parent = nullptr);

    // The controller's newer shortcut state and way, passed on to the card.
    void setShortcutActivationState(const ShortcutActivationState &state);
    void setShortcutRoute(const ShortcutRoute &route);

    ShortcutSettingsView *shortcutCard() const { return m_shortcutCard; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeEngineSection();
    QWidget *makeModeSection();
    QWidget *makePermissionSection();
    QWidget *makeGeneralSection();
    void rebuildPermissionRows(const QList<PermissionState> &states);
    // The controls show the store's values.
    void renderSettings();

    AppConfigurationStore &m_configurationStore;
    PermissionCoordinator &m_permissionCoordinator;

    TovalitSymbolView *m_meetingSymbol = nullptr;
    TovalitBadge *m_meetingBadge = nullptr;
    TovalitSwitch *m_meetingSwitch = nullptr;
    QVBoxLayout *m_permissionRows = nullptr;
    ShortcutSettingsView *m_shortcutCard = nullptr;
    SegmentedPicker *m_localePicker = nullptr;
    QCheckBox *m_insertToggle = nullptr;
    QCheckBox *m_copyToggle = nullptr;
    QCheckBox *m_keepAudioToggle = nullptr;
};

} // namespace tovalit
