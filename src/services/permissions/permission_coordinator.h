#pragma once

#include "models/permission_state.h"
#include "support/sleeper.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class AppConfigurationStore;
class ApplicationActivity;
class PermissionProbe;
class RemoteDesktopKeyboard;
class RemoteDesktopKeyboardAccess;
class SecretStore;
class SerialExecutor;
class SystemSettingsOpener;
enum class MicrophoneAuthorizationStatus : int;

// Keeps the state of every permission the application requires, asks the
// system for them in a fixed order, opens their settings pages, checks
// again whenever the application becomes active (typically on return
// from the settings) and marks the permissions onboarding completed once
// everything is granted. Every refresh also writes the states into the
// settings store's cache, which restarts the hotkey monitor when input
// monitoring or accessibility changes. Lives on the GUI thread.
//
// The system's answers can take long (a session bus or sound server that
// is slow to answer), so the probe runs on an executor of its own and the
// states follow once it has answered; the window never waits for it.
// Until the first answers arrive, `states` holds what the store cached
// from the last run.
class PermissionCoordinator : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<PermissionState> states READ states NOTIFY statesChanged)
    Q_PROPERTY(bool isGuidedRequestInProgress READ isGuidedRequestInProgress NOTIFY
                   isGuidedRequestInProgressChanged)
    Q_PROPERTY(int requiredCount READ requiredCount CONSTANT)
    Q_PROPERTY(int grantedRequiredCount READ grantedRequiredCount NOTIFY statesChanged)
    Q_PROPERTY(bool allRequiredGranted READ allRequiredGranted NOTIFY statesChanged)
    Q_PROPERTY(bool isRunningFromDiskImage READ isRunningFromDiskImage CONSTANT)

public:
    struct Dependencies {
        std::shared_ptr<PermissionProbe> probe;
        std::shared_ptr<SystemSettingsOpener> settingsOpener;
        // Where the application's activation comes from; none: the
        // coordinator refreshes only when asked.
        QPointer<ApplicationActivity> activity;
        // Where the application runs from.
        QString bundlePath;
        // Where the probe is asked; none: on the calling thread, for a
        // probe that answers at once.
        std::shared_ptr<SerialExecutor> probeExecutor;
        // The keyboard the desktop lends in a Wayland session; none
        // elsewhere. The wait for the user's answer to the desktop goes
        // through `sleeper`.
        std::shared_ptr<RemoteDesktopKeyboard> remoteDesktopKeyboard;
        Sleeper sleeper = systemSleeper();
        // Where that keyboard's restore token is kept; none: the desktop's
        // keyring (Secret Service).
        std::shared_ptr<SecretStore> secrets;

        // The desktop's permissions probed on an executor of their own,
        // its settings pages, its remote-desktop portal in a Wayland
        // session, this executable, and no activation source (the screen
        // layer provides one).
        static Dependencies linuxDefaults();
    };

    // Starts the first refresh; `states` is filled before it returns (with
    // the store's cached states while the probe runs elsewhere).
    PermissionCoordinator(AppConfigurationStore &configurationStore,
                          QList<PermissionKind> requiredKinds, QObject *parent = nullptr);
    PermissionCoordinator(AppConfigurationStore &configurationStore,
                          QList<PermissionKind> requiredKinds, Dependencies dependencies,
                          QObject *parent = nullptr);
    ~PermissionCoordinator() override;

    // One state per required kind, in their order.
    QList<PermissionState> states() const { return m_states; }
    bool isGuidedRequestInProgress() const { return m_isGuidedRequestInProgress; }
    int requiredCount() const { return int(m_requiredKinds.size()); }
    int grantedRequiredCount() const;
    // True for an empty list.
    bool allRequiredGranted() const;
    // The first state not granted.
    std::optional<PermissionState> nextPendingState() const;
    // Runs from a mounted disk image ("/Volumes/…"), where permissions may
    // keep showing as missing.
    bool isRunningFromDiskImage() const;
    // In a Wayland session, the keyboard the desktop lends for pastes into
    // its native windows; null elsewhere. Shown with accessibility, but
    // never counted in `states` (a desktop may lend it for one run only),
    // and never asked for with the others: the desktop's window takes the
    // keyboard focus, so only the user's own request, or a recording once
    // its context is read, asks for it.
    std::shared_ptr<RemoteDesktopKeyboardAccess> remoteDesktopKeyboard() const {
        return m_remoteDesktopKeyboard;
    }

    // Probes every required kind without prompting, publishes the states
    // (a new list every time), updates the store's cache and, once all are
    // granted, the onboarding flag. With a probe executor it returns at
    // once and the states follow; refreshes asked for while a probe waits
    // to start share its answers.
    void refreshStates();
    // Requests every required kind in order, then refreshes.
    QCoro::Task<void> requestRequiredPermissions();
    // requestRequiredPermissions(), once per process.
    QCoro::Task<void> beginAutomaticPromptIfNeeded();
    // Acts on one permission: the microphone is asked for (when never
    // asked) and its page opened; accessibility is switched on, since the
    // desktops' own pages have no switch for it. Reading the keyboard has
    // no page on any desktop, so nothing is done for it: the onboarding
    // shows its steps.
    QCoro::Task<void> performGuidedAction(PermissionKind kind);
    // performGuidedAction() on the first permission still missing.
    QCoro::Task<void> performPrimaryGuidedAction();
    QCoro::Task<void> guideMicrophoneAccess();
    void openSystemSettings(PermissionKind kind);
    QCoro::Task<void> requestMicrophonePermissionAgain();
    void promptAccessibilityAgain();

Q_SIGNALS:
    void statesChanged(const QList<PermissionState> &states);
    void isGuidedRequestInProgressChanged(bool isGuidedRequestInProgress);

private:
    struct ProbeRound;

    // refreshStates() for callers that go on once the states are out.
    QCoro::Task<void> refresh();
    // The publication that will carry answers probed after this call.
    QFuture<void> scheduleRefresh();
    QCoro::Task<void> probeAndPublish(std::shared_ptr<ProbeRound> round);
    QCoro::Task<QList<PermissionState>> probeRequiredKinds() const;
    void publish(QList<PermissionState> states);
    QCoro::Task<void> promptAccessibilityThenRefresh();
    void handleApplicationDidBecomeActive();
    QCoro::Task<void> retryUndeterminedPermissionsAfter(QFuture<void> refreshed);
    void handleApplicationDidResignActive();
    QCoro::Task<bool> requestMicrophonePermission();
    QCoro::Task<void> requestUndeterminedPermissionsIfNeeded();
    QCoro::Task<void> request(PermissionKind kind);
    void setGuidedRequestInProgress(bool inProgress);

    // On the probe's executor.
    static QList<PermissionState> probeStates(PermissionProbe &probe,
                                              const QList<PermissionKind> &kinds);
    static MicrophoneAuthorizationStatus microphoneAuthorization(PermissionProbe &probe);
    static void requestListenEventAccessIfMissing(PermissionProbe &probe);
    static void promptAccessibility(PermissionProbe &probe);
    static PermissionAuthorizationState microphoneStatus(PermissionProbe &probe);
    static PermissionAuthorizationState inputMonitoringStatus(PermissionProbe &probe, bool prompt);
    static PermissionAuthorizationState accessibilityStatus(PermissionProbe &probe, bool prompt);
    static PermissionAuthorizationState permissionStatus(PermissionProbe &probe,
                                                         PermissionKind kind, bool prompt);

    QList<PermissionState> m_states;
    bool m_isGuidedRequestInProgress = false;
    AppConfigurationStore &m_configurationStore;
    const QList<PermissionKind> m_requiredKinds;
    bool m_hasTriggeredAutomaticPrompt = false;
    bool m_hasRetriedPromptAfterActivation = false;
    Dependencies m_dependencies;
    QMetaObject::Connection m_appDidBecomeActiveObserver;
    QMetaObject::Connection m_appDidResignActiveObserver;
    // The probe being asked, and the one that starts after it.
    std::shared_ptr<ProbeRound> m_runningRound;
    std::shared_ptr<ProbeRound> m_nextRound;
    std::shared_ptr<RemoteDesktopKeyboardAccess> m_remoteDesktopKeyboard;
};

} // namespace tovalit
