#include "services/permissions/published_permission_probe.h"

#include "services/settings/app_configuration_store.h"

#include <QThreadPool>

namespace tovalit {

PublishedPermissionProbe::PublishedPermissionProbe(const AppConfigurationStore &store,
                                                   std::shared_ptr<PermissionProbe> system)
    : m_store(store)
    , m_system(std::move(system)) {}

MicrophoneAuthorizationStatus PublishedPermissionProbe::microphoneAuthorizationStatus() {
    switch (m_store.cachedMicrophonePermission()) {
    case PermissionAuthorizationState::notDetermined:
        return MicrophoneAuthorizationStatus::notDetermined;
    case PermissionAuthorizationState::granted:
        return MicrophoneAuthorizationStatus::authorized;
    case PermissionAuthorizationState::denied:
        return MicrophoneAuthorizationStatus::denied;
    case PermissionAuthorizationState::needsManualEnable:
        break;
    }
    return MicrophoneAuthorizationStatus::unavailable;
}

void PublishedPermissionProbe::requestMicrophoneAccess(
    std::function<void(bool granted)> completion) {
    inBackground([completion = std::move(completion)](PermissionProbe &system) {
        system.requestMicrophoneAccess(completion);
    });
}

bool PublishedPermissionProbe::preflightListenEventAccess() {
    return m_store.cachedInputMonitoringPermission() == PermissionAuthorizationState::granted;
}

void PublishedPermissionProbe::requestListenEventAccess() {
    inBackground([](PermissionProbe &system) { system.requestListenEventAccess(); });
}

bool PublishedPermissionProbe::isProcessTrusted(bool prompt) {
    if (prompt)
        inBackground([](PermissionProbe &system) { system.isProcessTrusted(true); });
    return m_store.cachedAccessibilityPermission() == PermissionAuthorizationState::granted;
}

void PublishedPermissionProbe::inBackground(std::function<void(PermissionProbe &system)> work) {
    QThreadPool::globalInstance()->start(
        [system = m_system, work = std::move(work)] { work(*system); });
}

} // namespace tovalit
