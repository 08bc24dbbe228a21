#pragma once

#include "models/permission_state.h"

#include <QList>
#include <QMetaObject>
#include <QObject>

namespace tovalit {

class AppConfigurationStore;
class PermissionCoordinator;

// Decides whether the main window shows the permissions onboarding or the
// client window: the onboarding while any permission needed with the
// current shortcut is missing, unless the user chose to go on without it in
// this run. Reading the keyboard devices serves only the Fn key, so a key
// combination does not wait for it. Once everything needed is granted the
// onboarding is marked completed in the settings. Lives on the GUI thread.
class AppLaunchCoordinator : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool shouldShowPermissionsOnboarding READ shouldShowPermissionsOnboarding NOTIFY
                   shouldShowPermissionsOnboardingChanged)

public:
    // Follows the coordinator's states and the store's onboarding flag, and
    // decides once before returning. Both must outlive this object.
    AppLaunchCoordinator(AppConfigurationStore &configurationStore,
                         PermissionCoordinator &permissionCoordinator, QObject *parent = nullptr);
    ~AppLaunchCoordinator() override;

    bool shouldShowPermissionsOnboarding() const { return m_shouldShowPermissionsOnboarding; }
    // The permission states the current shortcut needs, in their order.
    QList<PermissionState> neededStates() const;

    // The gate; a call made while a decision is under way does nothing.
    void evaluateStage();
    // Leaves the onboarding when everything needed is granted; with `force`, also
    // without, for the rest of this run (never persisted).
    void continueToClient(bool force);

Q_SIGNALS:
    // Every publication, also when the value is unchanged.
    void shouldShowPermissionsOnboardingChanged(bool value);

private:
    bool everyNeededStateGranted() const;
    void markOnboardingCompletedIfNeeded();
    void publish(bool shouldShow);

    bool m_shouldShowPermissionsOnboarding = true;
    AppConfigurationStore &m_configurationStore;
    PermissionCoordinator &m_permissionCoordinator;
    bool m_hasSessionBypassedOnboarding = false;
    bool m_isEvaluating = false;
    // The onboarding flag as last seen, so that only its changes count.
    bool m_observedOnboardingFlag = false;
    QList<QMetaObject::Connection> m_cancellables;
};

} // namespace tovalit
