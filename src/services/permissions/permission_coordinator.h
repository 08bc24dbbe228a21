#pragma once

#include "models/permission_state.h"

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
class SystemSettingsOpener;

// Keeps the state of every permission the application requires, asks the
// system for them in a fixed order, opens their settings pages, checks
// again whenever the application becomes active (typically on return
// from the settings) and marks the permissions onboarding completed once
// everything is granted. Every refresh also writes the states into the
// settings store's cache, which restarts the hotkey monitor when input
// monitoring or accessibility changes. Lives on the GUI thread.
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

        // The desktop's permissions and settings pages, this executable,
        // and no activation source (the screen layer provides one).
        static Dependencies linuxDefaults();
    };

    // Refreshes once before returning, so `states` is filled.
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

    // Probes every required kind without prompting, publishes the states
    // (a new list every time), updates the store's cache and, once all are
    // granted, the onboarding flag.
    void refreshStates();
    // Requests every required kind in order, then refreshes.
    QCoro::Task<void> requestRequiredPermissions();
    // requestRequiredPermissions(), once per process.
    QCoro::Task<void> beginAutomaticPromptIfNeeded();
    // Acts on the first permission still missing: the microphone is asked
    // for (when never asked) and its page opened; the others' pages are
    // opened.
    QCoro::Task<void> performPrimaryGuidedAction();
    QCoro::Task<void> guideMicrophoneAccess();
    void openSystemSettings(PermissionKind kind);
    QCoro::Task<void> requestMicrophonePermissionAgain();
    void promptAccessibilityAgain();

Q_SIGNALS:
    void statesChanged(const QList<PermissionState> &states);
    void isGuidedRequestInProgressChanged(bool isGuidedRequestInProgress);

private:
    void handleApplicationDidBecomeActive();
    void handleApplicationDidResignActive();
    QCoro::Task<bool> requestMicrophonePermission();
    QCoro::Task<void> requestUndeterminedPermissionsIfNeeded();
    QCoro::Task<void> request(PermissionKind kind);
    void setGuidedRequestInProgress(bool inProgress);

    PermissionAuthorizationState microphoneStatus();
    PermissionAuthorizationState inputMonitoringStatus(bool prompt);
    PermissionAuthorizationState accessibilityStatus(bool prompt);
    PermissionAuthorizationState permissionStatus(PermissionKind kind, bool prompt);

    QList<PermissionState> m_states;
    bool m_isGuidedRequestInProgress = false;
    AppConfigurationStore &m_configurationStore;
    const QList<PermissionKind> m_requiredKinds;
    bool m_hasTriggeredAutomaticPrompt = false;
    bool m_hasRetriedPromptAfterActivation = false;
    Dependencies m_dependencies;
    QMetaObject::Connection m_appDidBecomeActiveObserver;
    QMetaObject::Connection m_appDidResignActiveObserver;
};

} // namespace tovalit
