#include "state/app_launch_coordinator.h"

#include "services/permissions/permission_coordinator.h"
#include "services/settings/app_configuration_store.h"

#include <algorithm>

namespace tovalit {

AppLaunchCoordinator::AppLaunchCoordinator(AppConfigurationStore &configurationStore,
                                           PermissionCoordinator &permissionCoordinator,
                                           QObject *parent)
    : QObject(parent)
    , m_configurationStore(configurationStore)
    , m_permissionCoordinator(permissionCoordinator)
    , m_observedOnboardingFlag(configurationStore.hasCompletedPermissionsOnboarding()) {
    m_cancellables << connect(&permissionCoordinator, &PermissionCoordinator::statesChanged, this,
                              [this] { evaluateStage(); });
    m_cancellables << connect(&configurationStore,
                              &AppConfigurationStore::hasCompletedPermissionsOnboardingChanged,
                              this, [this](bool value) {
                                  if (value == m_observedOnboardingFlag)
                                      return;
                                  m_observedOnboardingFlag = value;
                                  evaluateStage();
                              });
    evaluateStage();
}

AppLaunchCoordinator::~AppLaunchCoordinator() {
    for (const QMetaObject::Connection &connection : std::as_const(m_cancellables))
        disconnect(connection);
}

void AppLaunchCoordinator::evaluateStage() {
    // Marking the onboarding completed announces the flag, which would
    // bring us straight back here.
    if (m_isEvaluating)
        return;
    m_isEvaluating = true;
    if (!everyStateGranted()) {
        publish(!m_hasSessionBypassedOnboarding);
        m_isEvaluating = false;
        return;
    }
    markOnboardingCompletedIfNeeded();
    publish(false);
    m_isEvaluating = false;
}

void AppLaunchCoordinator::continueToClient(bool force) {
    const bool allGranted = everyStateGranted();
    if (!allGranted && !force)
        return;
    if (!allGranted) {
        // Only for this run: the next start asks again.
        m_hasSessionBypassedOnboarding = true;
        publish(false);
        return;
    }
    markOnboardingCompletedIfNeeded();
    publish(false);
}

bool AppLaunchCoordinator::everyStateGranted() const {
    const QList<PermissionState> states = m_permissionCoordinator.states();
    return std::all_of(states.begin(), states.end(),
                       [](const PermissionState &state) { return state.isGranted(); });
}

void AppLaunchCoordinator::markOnboardingCompletedIfNeeded() {
    // Setting the flag saves every persisted setting at once.
    if (!m_configurationStore.hasCompletedPermissionsOnboarding())
        m_configurationStore.setHasCompletedPermissionsOnboarding(true);
}

void AppLaunchCoordinator::publish(bool shouldShow) {
    m_shouldShowPermissionsOnboarding = shouldShow;
    Q_EMIT shouldShowPermissionsOnboardingChanged(shouldShow);
}

} // namespace tovalit
