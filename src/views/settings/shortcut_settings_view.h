#pragma once

#include "models/shortcut_activation_state.h"
#include "models/shortcut_configuration.h"
#include "models/shortcut_route.h"
#include "views/design/tovalit_glass_surface.h"

#include <memory>

class QLabel;
class QPushButton;

namespace tovalit {

class AppConfigurationStore;
class ApplicationKeyboard;
class DesktopKeybinding;
class FunctionKeySystemSettings;
class ShortcutRecorderService;
class TovalitSymbolView;
class TovalitTextLabel;

// The settings card of the one global recording shortcut: shows it,
// records a new one from the keyboard, restores Fn, says whether the
// shortcut works and which way it takes and, for Fn, what listening to it
// can do on Linux. No desktop gives the bare Fn key an action of its own,
// so there is no system setting to offer to change. In a Wayland session
// the desktop holds a combination: the card calls it working only once the
// desktop reports the keys it bound (which may be others than the ones
// recorded); where the user binds our command in the desktop's keyboard
// settings instead, we cannot see that binding, so the card shows the
// command to copy and never calls it working. Where those settings can
// take a custom shortcut of ours (GNOME), the card offers to write it at
// the user's click; what the desktop's settings then hold decides what
// the card shows. The shortcut lives in the settings store; writing it
// there restarts the hotkey monitor.
class ShortcutSettingsView : public TovalitGlassSurface {
    Q_OBJECT

public:
    struct Dependencies {
        // Where the recorder reads the keys it captures.
        std::shared_ptr<ApplicationKeyboard> keyboard;
        std::shared_ptr<FunctionKeySystemSettings> functionKeySystemSettings;
        // Our custom shortcut in the desktop's keyboard settings, the
        // hotkey monitor's own; null where the desktop has no such
        // settings.
        std::shared_ptr<DesktopKeybinding> desktopKeybinding;
    };

    // `configurationStore` must outlive the card; `activationState` is the
    // controller's state as the page read it.
    ShortcutSettingsView(AppConfigurationStore &configurationStore,
                         ShortcutActivationState activationState, Dependencies dependencies,
                         QWidget *parent = nullptr);
    ~ShortcutSettingsView() override;

    // A newer state from the controller.
    void setActivationState(const ShortcutActivationState &activationState);
    // The way the controller's shortcut takes.
    void setRoute(const ShortcutRoute &route);
    // What the activation row shows: for Fn, the system setting read now,
    // unless the shortcut failed.
    ShortcutActivationState effectiveActivationState() const;

    ShortcutRecorderService &recorder() const { return *m_recorder; }
    QString functionKeySystemMessage() const { return m_functionKeySystemMessage; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void toggleRecording();
    void restoreDefault();
    void handleShortcutChange(const ShortcutConfiguration &configuration);
    void refreshFunctionKeyMessage();
    void copyCommand();
    void writeDesktopKeybinding();
    // Brings every shown value up to date.
    void render();
    void renderActivationRow();

    AppConfigurationStore &m_configurationStore;
    ShortcutActivationState m_activationState;
    ShortcutRoute m_route;
    Dependencies m_dependencies;
    std::unique_ptr<ShortcutRecorderService> m_recorder;
    QString m_functionKeySystemMessage;
    ShortcutConfiguration m_observedShortcut;

    TovalitTextLabel *m_display = nullptr;
    QPushButton *m_restoreButton = nullptr;
    QPushButton *m_recordButton = nullptr;
    TovalitTextLabel *m_helper = nullptr;
    TovalitSymbolView *m_activationSymbol = nullptr;
    TovalitTextLabel *m_activationText = nullptr;
    TovalitTextLabel *m_systemMessage = nullptr;
    QWidget *m_commandRow = nullptr;
    QLabel *m_command = nullptr;
    QPushButton *m_copyCommandButton = nullptr;
    QWidget *m_keybindingRow = nullptr;
    TovalitTextLabel *m_keybindingCaption = nullptr;
    QPushButton *m_writeKeybindingButton = nullptr;
    TovalitTextLabel *m_keybindingFeedback = nullptr;
};

} // namespace tovalit
