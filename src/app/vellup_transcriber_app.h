#pragma once

#include "app/app_delegate.h"
#include "app/desktop_action.h"
#include "app/heap_housekeeping.h"
#include "app/system_tray_availability.h"
#include "services/permissions/permission_coordinator.h"
#include "services/settings/app_configuration_store.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "support/cancel_token.h"
#include "views/client_window_view.h"

#include <QObject>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class AppLaunchCoordinator;
class ApplicationActivity;
class DefaultsStore;
class LegacyMenuBarController;
class MainWindow;
class RemoteDesktopKeyboardAccess;
class SingleInstance;
class TranscriberViewModel;

// The application: creates the long-lived objects in a fixed order and
// keeps them for the life of the process, shows the one main window with
// the permissions onboarding or the client window as the launch
// coordinator decides, and keeps the status-bar menu in step with the
// recording. Closing the window leaves the application (and its shortcut)
// running; where the desktop has no tray the window offers the status
// menu itself. GUI thread only; needs a QApplication.
class VellupTranscriberApp : public QObject {
    Q_OBJECT

public:
    // The controller over the settings store and with the keyboard the
    // desktop lends (null outside a Wayland session); made once, after the
    // store and the coordinators.
    using ViewModelBuilder = std::function<std::unique_ptr<TranscriberViewModel>(
        AppConfigurationStore &store,
        std::shared_ptr<RemoteDesktopKeyboardAccess> remoteDesktopKeyboard)>;

    struct Dependencies {
        // The standard user defaults.
        std::shared_ptr<DefaultsStore> defaults;
        // None: the store resolves its start-up values from the process
        // environment and the bundle's property lists.
        std::optional<AppConfigurationStore::Environment> environment;
        // Without an activity source the application's own is used.
        PermissionCoordinator::Dependencies permissions;
        ViewModelBuilder makeViewModel;
        ClientWindowView::Dependencies clientWindow;
        // Null: the shared one.
        LegacyMenuBarController *menuBar = nullptr;
        // Whether there is a tray; empty: the desktop is asked.
        SystemTrayAvailability::Probe systemTrayProbe;

        // The desktop's settings file, permissions, keyboard and Fn
        // setting; the controller with every collaborator of its own.
        static Dependencies linuxDefaults();
    };

    // Logs the launch and creates the settings store, the permission
    // coordinator and the launch coordinator, in that order.
    explicit VellupTranscriberApp(Dependencies dependencies, QObject *parent = nullptr);
    ~VellupTranscriberApp() override;

    // Shows the main window (unless the launch only serves a request that
    // is still to come), finishes launching (status item included) and
    // brings the menu up to date.
    void launch(bool showMainWindow = true);
    // Answers the desktop's requests that reach `instance` for as long as
    // both exist.
    void serve(SingleInstance &instance);

    AppConfigurationStore &configurationStore() const { return *m_configurationStore; }
    PermissionCoordinator &permissionCoordinator() const { return *m_permissionCoordinator; }
    AppLaunchCoordinator &launchCoordinator() const { return *m_launchCoordinator; }
    // Built on first use, once.
    TranscriberViewModel &viewModel();
    bool hasViewModel() const { return bool(m_viewModel); }
    AppDelegate &delegate() { return m_delegate; }
    LegacyMenuBarController &menuBar() const { return m_menuBar; }
    SystemTrayAvailability &systemTray() const { return *m_systemTray; }
    // Null before launch().
    MainWindow *mainWindow() const { return m_mainWindow.get(); }

    // The status-bar menu's callbacks.
    void configureLegacyMenuBar();
    void updateLegacyMenuBarState();
    // Always once the onboarding is left; during it only to stop a
    // recording that is running.
    bool canToggleRecording();
    // Brings the main window to the front (found by its identifier, else
    // by its title, else the first window).
    void openMainWindow();
    // The application was launched again (or the desktop asked for it):
    // the reopen of a running application, which shows and activates the
    // main window whether it was closed, minimised or behind others.
    void reopen();
    // One of the desktop entry's actions. The recording action is a press
    // of the shortcut, under the shortcut's rules (it may start during the
    // onboarding, which the menu's toggle may not; a repeat of held keys
    // is no press). `secondsSinceLaunch`: how long ago the launch that
    // asked was started, where it said.
    void activateAction(DesktopAction action,
                        std::optional<double> secondsSinceLaunch = std::nullopt);
    // Ends the application once a dictation under way is filed (see
    // TranscriberViewModel::finishDictationBeforeQuit); asked again while
    // waiting, it files that dictation as it stands and ends at once.
    void terminate();

    // How long a quit waits for a dictation still being processed.
    static constexpr double quitGraceSeconds = 15.0;

    // The controller as the application runs it: its own collaborators,
    // the screen's floating panel and a lexicon store on the data folder.
    static std::unique_ptr<TranscriberViewModel>
    buildViewModel(AppConfigurationStore &store,
                   std::shared_ptr<RemoteDesktopKeyboardAccess> remoteDesktopKeyboard);
    // The same with the shortcut's own platform services.
    static std::unique_ptr<TranscriberViewModel>
    buildViewModel(AppConfigurationStore &store,
                   std::shared_ptr<RemoteDesktopKeyboardAccess> remoteDesktopKeyboard,
                   HotkeyMonitor::Dependencies hotkeys);

private:
    void showMainWindowContent();
    void handleReopen();
    // The window offers the status menu while no tray shows it.
    void offerStatusMenuInWindow();
    QCoro::Task<void> finishAndQuit(CancelToken hurry);

    Dependencies m_dependencies;
    LegacyMenuBarController &m_menuBar;
    AppDelegate m_delegate;
    std::unique_ptr<AppConfigurationStore> m_configurationStore;
    std::unique_ptr<ApplicationActivity> m_activity;
    std::unique_ptr<PermissionCoordinator> m_permissionCoordinator;
    std::unique_ptr<AppLaunchCoordinator> m_launchCoordinator;
    std::unique_ptr<SystemTrayAvailability> m_systemTray;
    std::unique_ptr<TranscriberViewModel> m_viewModel;
    std::unique_ptr<MainWindow> m_mainWindow;
    // Which content the window shows; none before launch().
    std::optional<bool> m_showsOnboarding;
    // Set once a quit was asked for; cancelled when it is asked again.
    std::optional<CancelToken> m_quitHurry;
    HeapHousekeeping m_heapHousekeeping;
};

} // namespace tovalit
