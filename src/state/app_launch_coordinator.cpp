#include "state/app_launch_coordinator.h"

#include "services/permissions/permission_coordinator.h"
#include "services/settings/app_configuration_store.h"

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
    m_cancellables << connect(&configurationStore,
                              &AppConfigurationStore::shortcutConfigurationChanged, this,
                              [this] { evaluateStage(); });
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
    if (!everyNeededStateGranted()) {
        publish(!m_hasSessionBypassedOnboarding);
        m_isEvaluating = false;
        return;
    }
    markOnboardingCompletedIfNeeded();
    publish(false);
    m_isEvaluating = false;
}

void AppLaunchCoordinator::continueToClient(bool force) {
    const bool allGranted = everyNeededStateGranted();
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

QList<PermissionState> AppLaunchCoordinator::neededStates() const {
    return tovalit::neededStates(m_permissionCoordinator.states(),
                                 m_configurationStore.shortcutConfiguration().isFunctionKey());
}

bool AppLaunchCoordinator::everyNeededStateGranted() const {
    return tovalit::everyNeededStateGranted(
        m_permissionCoordinator.states(),
        m_configurationStore.shortcutConfiguration().isFunctionKey());
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
