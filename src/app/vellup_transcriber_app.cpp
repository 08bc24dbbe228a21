#include "app/vellup_transcriber_app.h"

#include "app/floating_panel_coordinator.h"
#include "app/gui_application_activity.h"
#include "app/legacy_menu_bar_controller.h"
#include "app/main_window.h"
#include "app/qt_application_keyboard.h"
#include "app/single_instance.h"
#include "platform/linux/ini_defaults_store.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "services/permissions/published_permission_probe.h"
#include "services/settings/product_identity.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "state/app_launch_coordinator.h"
#include "state/transcriber_view_model.h"
#include "support/spawn.h"
#include "views/client_window_view.h"
#include "views/permissions/permissions_onboarding_view.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace tovalit {

namespace {

const QList<PermissionKind> requiredKinds{
    PermissionKind::microphone, PermissionKind::inputMonitoring, PermissionKind::accessibility};

void bringToFront(QWidget *window) {
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

VellupTranscriberApp::Dependencies VellupTranscriberApp::Dependencies::linuxDefaults() {
    Dependencies dependencies;
    dependencies.defaults =
        std::make_shared<IniDefaultsStore>(IniDefaultsStore::standardFilePath());
    dependencies.permissions = PermissionCoordinator::Dependencies::linuxDefaults();
    // The settings card writes our custom shortcut into the desktop's
    // keyboard settings through the hotkey monitor's own, which hears of it.
    HotkeyMonitor::Dependencies hotkeys = HotkeyMonitor::Dependencies::linuxDefaults();
    dependencies.clientWindow.shortcutSettings.desktopKeybinding = hotkeys.desktopKeybinding;
    dependencies.makeViewModel = [hotkeys](AppConfigurationStore &store,
                                           std::shared_ptr<RemoteDesktopKeyboardAccess> keyboard) {
        return buildViewModel(store, std::move(keyboard), hotkeys);
    };
    dependencies.clientWindow.shortcutSettings.keyboard = std::make_shared<QtApplicationKeyboard>();
    dependencies.clientWindow.shortcutSettings.functionKeySystemSettings =
        std::make_shared<FunctionKeySystemSettings>();
    return dependencies;
}

VellupTranscriberApp::VellupTranscriberApp(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_dependencies(std::move(dependencies))
    , m_menuBar(m_dependencies.menuBar ? *m_dependencies.menuBar
                                       : LegacyMenuBarController::shared())
    , m_delegate(&m_menuBar) {
    Q_ASSERT(m_dependencies.defaults && m_dependencies.makeViewModel);
    TovalitDebugLogger::startNewSession(QStringLiteral("app launch pid=") +
                                        QString::number(QCoreApplication::applicationPid()));
    m_configurationStore = std::make_unique<AppConfigurationStore>(*m_dependencies.defaults,
                                                                   m_dependencies.environment);
    PermissionCoordinator::Dependencies permissions = m_dependencies.permissions;
    if (!permissions.activity) {
        m_activity = std::make_unique<GuiApplicationActivity>();
        permissions.activity = m_activity.get();
    }
    m_permissionCoordinator = std::make_unique<PermissionCoordinator>(
        *m_configurationStore, requiredKinds, std::move(permissions));
    m_launchCoordinator =
        std::make_unique<AppLaunchCoordinator>(*m_configurationStore, *m_permissionCoordinator);
    m_systemTray = std::make_unique<SystemTrayAvailability>(m_dependencies.systemTrayProbe);

    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        m_delegate.applicationWillTerminate();
        TovalitDebugLogger::flush();
    });
}

VellupTranscriberApp::~VellupTranscriberApp() {
    // The windows observe the controller and the coordinators: they go
    // first.
    m_mainWindow.reset();
}

TranscriberViewModel &VellupTranscriberApp::viewModel() {
    if (!m_viewModel)
        m_viewModel = m_dependencies.makeViewModel(
            *m_configurationStore, m_permissionCoordinator->remoteDesktopKeyboard());
    return *m_viewModel;
}

std::unique_ptr<TranscriberViewModel> VellupTranscriberApp::buildViewModel(
    AppConfigurationStore &store,
    std::shared_ptr<RemoteDesktopKeyboardAccess> remoteDesktopKeyboard) {
    return buildViewModel(store, std::move(remoteDesktopKeyboard),
                          HotkeyMonitor::Dependencies::linuxDefaults());
}

std::unique_ptr<TranscriberViewModel> VellupTranscriberApp::buildViewModel(
    AppConfigurationStore &store,
    std::shared_ptr<RemoteDesktopKeyboardAccess> remoteDesktopKeyboard,
    HotkeyMonitor::Dependencies hotkeys) {
    auto lexiconStore = std::make_shared<PersonalLexiconStore>();
    TranscriberViewModel::Dependencies dependencies;
    dependencies.remoteDesktopKeyboard = std::move(remoteDesktopKeyboard);
    // The shortcut is started again whenever the permission coordinator
    // publishes new answers; it decides on those instead of asking the
    // system on the GUI thread.
    hotkeys.permissions = std::make_shared<PublishedPermissionProbe>(store, hotkeys.permissions);
    dependencies.hotkeyMonitor = std::make_shared<HotkeyMonitor>(std::move(hotkeys));
    return std::make_unique<TranscriberViewModel>(store,
                                                  std::make_shared<FloatingPanelCoordinator>(),
                                                  std::move(lexiconStore), std::move(dependencies));
}

void VellupTranscriberApp::launch(bool showMainWindow) {
    TranscriberViewModel &controller = viewModel();
    m_mainWindow = std::make_unique<MainWindow>();
    showMainWindowContent();
    connect(m_launchCoordinator.get(),
            &AppLaunchCoordinator::shouldShowPermissionsOnboardingChanged, this, [this] {
                showMainWindowContent();
                updateLegacyMenuBarState();
            });
    connect(&controller, &TranscriberViewModel::recordingStateChanged, this,
            &VellupTranscriberApp::updateLegacyMenuBarState);
    connect(&controller, &TranscriberViewModel::recordingStateChanged, &m_heapHousekeeping,
            &HeapHousekeeping::recordingStateChanged);
    if (showMainWindow)
        m_mainWindow->show();

    m_delegate.applicationDidFinishLaunching();
    configureLegacyMenuBar();
    updateLegacyMenuBarState();
    if (QSystemTrayIcon *statusItem = m_menuBar.statusItem()) {
        connect(statusItem, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger)
                        handleReopen();
                });
    }
    offerStatusMenuInWindow();
    connect(m_systemTray.get(), &SystemTrayAvailability::availabilityChanged, this,
            &VellupTranscriberApp::offerStatusMenuInWindow);

    // Closing the window keeps the application (and its shortcut)
    // running, with or without a tray: the window comes back from the
    // status icon, by launching Tovalit again from the desktop's list of
    // applications, or through the desktop entry's actions.
    QApplication::setQuitOnLastWindowClosed(false);
}

void VellupTranscriberApp::serve(SingleInstance &instance) {
    connect(&instance, &SingleInstance::activationRequested, this, &VellupTranscriberApp::reopen);
    connect(&instance, &SingleInstance::actionRequested, this,
            [this](DesktopAction action, const QVariantMap &platformData) {
                activateAction(action, SingleInstance::secondsSinceLaunch(platformData));
            });
}

void VellupTranscriberApp::offerStatusMenuInWindow() {
    if (!m_mainWindow)
        return;
    QList<QAction *> items;
    if (!m_systemTray->isAvailable() && m_menuBar.menu())
        items = m_menuBar.menu()->actions();
    m_mainWindow->setStatusMenuItems(items);
}

void VellupTranscriberApp::showMainWindowContent() {
    // The launch coordinator publishes on every evaluation; the content is
    // replaced only when the decision changes, so a page keeps its state.
    const bool onboarding = m_launchCoordinator->shouldShowPermissionsOnboarding();
    if (m_showsOnboarding == onboarding)
        return;
    m_showsOnboarding = onboarding;
    if (onboarding) {
        m_mainWindow->setContent(new PermissionsOnboardingView(
            *m_permissionCoordinator, *m_launchCoordinator, *m_configurationStore));
        return;
    }
    auto *client = new ClientWindowView(viewModel(), *m_configurationStore,
                                        *m_permissionCoordinator, m_dependencies.clientWindow);
    m_mainWindow->setContent(client, client->headerAccessoryPlace());
}

void VellupTranscriberApp::configureLegacyMenuBar() {
    m_menuBar.onOpenMainWindow = [this] { openMainWindow(); };
    m_menuBar.onToggleRecording = [this] {
        // The menu returns at once; the controller works on.
        TranscriberViewModel *controller = &viewModel();
        spawn(
            controller, [controller] { return controller->toggleRecording(); },
            QStringLiteral("status menu toggle"));
    };
    m_menuBar.canToggleRecording = [this] { return canToggleRecording(); };
    m_menuBar.onQuit = [this] { terminate(); };
}

bool VellupTranscriberApp::canToggleRecording() {
    if (!m_launchCoordinator->shouldShowPermissionsOnboarding())
        return true;
    // During the onboarding nothing starts from the menu, but a recording
    // the shortcut started can still be stopped.
    return viewModel().recordingState().is(RecordingState::Case::recording);
}

void VellupTranscriberApp::updateLegacyMenuBarState() {
    m_menuBar.update(viewModel().recordingState(), canToggleRecording());
}

void VellupTranscriberApp::openMainWindow() {
    AppDelegate::activateIgnoringOtherApps();
    const QWidgetList windows = AppDelegate::applicationWindows();
    for (QWidget *window : windows) {
        if (window->objectName() == u"main-window" ||
            window->windowTitle() == ProductIdentity::productName()) {
            bringToFront(window);
            return;
        }
    }
    if (!windows.isEmpty())
        bringToFront(windows.first());
}

void VellupTranscriberApp::reopen() {
    m_delegate.applicationShouldHandleReopen(AppDelegate::hasVisibleWindows());
    openMainWindow();
}

void VellupTranscriberApp::handleReopen() {
    const bool visible = AppDelegate::hasVisibleWindows();
    // With nothing on screen, reopening shows the main window again.
    if (m_delegate.applicationShouldHandleReopen(visible) && !visible)
        openMainWindow();
}

void VellupTranscriberApp::activateAction(DesktopAction action,
                                          std::optional<double> secondsSinceLaunch) {
    switch (action) {
    case DesktopAction::openWindow:
        reopen();
        return;
    case DesktopAction::toggleRecording:
        viewModel().handleRecordingCommand(secondsSinceLaunch);
        return;
    case DesktopAction::quit:
        terminate();
        return;
    }
}

void VellupTranscriberApp::terminate() {
    if (m_quitHurry) {
        m_quitHurry->cancel();
        return;
    }
    m_quitHurry = CancelToken();
    // The window goes from the screen at once; a dictation still being
    // processed finishes behind its own panel.
    if (m_mainWindow)
        m_mainWindow->hide();
    spawn(
        this, [this, hurry = *m_quitHurry] { return finishAndQuit(hurry); },
        QStringLiteral("quit"));
}

QCoro::Task<void> VellupTranscriberApp::finishAndQuit(CancelToken hurry) {
    if (m_viewModel)
        co_await m_viewModel->finishDictationBeforeQuit(quitGraceSeconds, hurry);
    // As the menu's own quit: an open editor sheet may not turn it down.
    QCoreApplication::exit(0);
}

} // namespace tovalit
