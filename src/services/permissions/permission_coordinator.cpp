#include "services/permissions/permission_coordinator.h"

#include "platform/application_activity.h"
#include "platform/linux/desktop_settings_opener.h"
#include "platform/linux/linux_permission_probe.h"
#include "platform/permission_probe.h"
#include "platform/system_settings_opener.h"
#include "services/settings/app_configuration_store.h"
#include "support/cross_thread_promise.h"
#include "support/spawn.h"

#include <QCoreApplication>
#include <QUrl>

#include <algorithm>

namespace tovalit {

PermissionCoordinator::Dependencies PermissionCoordinator::Dependencies::linuxDefaults() {
    Dependencies dependencies;
    dependencies.probe = std::make_shared<LinuxPermissionProbe>();
    dependencies.settingsOpener = std::make_shared<DesktopSettingsOpener>();
    if (QCoreApplication::instance())
        dependencies.bundlePath = QCoreApplication::applicationFilePath();
    return dependencies;
}

PermissionCoordinator::PermissionCoordinator(AppConfigurationStore &configurationStore,
                                             QList<PermissionKind> requiredKinds, QObject *parent)
    : PermissionCoordinator(configurationStore, std::move(requiredKinds),
                            Dependencies::linuxDefaults(), parent) {}

PermissionCoordinator::PermissionCoordinator(AppConfigurationStore &configurationStore,
                                             QList<PermissionKind> requiredKinds,
                                             Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_configurationStore(configurationStore)
    , m_requiredKinds(std::move(requiredKinds))
    , m_dependencies(std::move(dependencies)) {
    if (ApplicationActivity *activity = m_dependencies.activity) {
        m_appDidBecomeActiveObserver =
            connect(activity, &ApplicationActivity::didBecomeActive, this,
                    &PermissionCoordinator::handleApplicationDidBecomeActive);
        m_appDidResignActiveObserver =
            connect(activity, &ApplicationActivity::didResignActive, this,
                    &PermissionCoordinator::handleApplicationDidResignActive);
    }
    refreshStates();
}

PermissionCoordinator::~PermissionCoordinator() {
    disconnect(m_appDidBecomeActiveObserver);
    disconnect(m_appDidResignActiveObserver);
}

int PermissionCoordinator::grantedRequiredCount() const {
    return int(std::count_if(m_states.begin(), m_states.end(),
                             [](const PermissionState &state) { return state.isGranted(); }));
}

bool PermissionCoordinator::allRequiredGranted() const {
    return std::all_of(m_states.begin(), m_states.end(),
                       [](const PermissionState &state) { return state.isGranted(); });
}

std::optional<PermissionState> PermissionCoordinator::nextPendingState() const {
    for (const PermissionState &state : m_states) {
        if (!state.isGranted())
            return state;
    }
    return std::nullopt;
}

bool PermissionCoordinator::isRunningFromDiskImage() const {
    return m_dependencies.bundlePath.startsWith(u"/Volumes/");
}

void PermissionCoordinator::refreshStates() {
    QList<PermissionState> states;
    for (PermissionKind kind : m_requiredKinds)
        states.append(PermissionState{kind, permissionStatus(kind, false)});
    m_states = std::move(states);
    Q_EMIT statesChanged(m_states);
    m_configurationStore.updateCachedPermissionStates(m_states);
    if (allRequiredGranted() && !m_configurationStore.hasCompletedPermissionsOnboarding())
        m_configurationStore.setHasCompletedPermissionsOnboarding(true);
}

QCoro::Task<void> PermissionCoordinator::requestRequiredPermissions() {
    QPointer<PermissionCoordinator> guard(this);
    setGuidedRequestInProgress(true);
    for (PermissionKind kind : m_requiredKinds) {
        co_await request(kind);
        if (!guard)
            co_return;
    }
    refreshStates();
    setGuidedRequestInProgress(false);
}

QCoro::Task<void> PermissionCoordinator::beginAutomaticPromptIfNeeded() {
    if (m_hasTriggeredAutomaticPrompt)
        co_return;
    m_hasTriggeredAutomaticPrompt = true;
    co_await requestRequiredPermissions();
}

QCoro::Task<void> PermissionCoordinator::performPrimaryGuidedAction() {
    QPointer<PermissionCoordinator> guard(this);
    const std::optional<PermissionState> pending = nextPendingState();
    if (!pending)
        co_return;
    setGuidedRequestInProgress(true);
    if (pending->kind == PermissionKind::microphone) {
        co_await guideMicrophoneAccess();
        if (!guard)
            co_return;
    } else {
        // No request here: the states follow when the application becomes
        // active again.
        openSystemSettings(pending->kind);
    }
    setGuidedRequestInProgress(false);
}

QCoro::Task<void> PermissionCoordinator::guideMicrophoneAccess() {
    QPointer<PermissionCoordinator> guard(this);
    co_await requestMicrophonePermission();
    if (!guard)
        co_return;
    refreshStates();
    // Also when access was just granted: the page is where it can change.
    openSystemSettings(PermissionKind::microphone);
}

void PermissionCoordinator::openSystemSettings(PermissionKind kind) {
    const QUrl url(settingsURLString(kind), QUrl::StrictMode);
    if (url.isValid())
        m_dependencies.settingsOpener->open(url);
}

QCoro::Task<void> PermissionCoordinator::requestMicrophonePermissionAgain() {
    QPointer<PermissionCoordinator> guard(this);
    co_await requestMicrophonePermission();
    if (guard)
        refreshStates();
}

void PermissionCoordinator::promptAccessibilityAgain() {
    accessibilityStatus(true);
    refreshStates();
}

void PermissionCoordinator::handleApplicationDidBecomeActive() {
    m_hasRetriedPromptAfterActivation = false;
    refreshStates();
    spawn(
        this, [this] { return requestUndeterminedPermissionsIfNeeded(); },
        QStringLiteral("permission retry after activation"));
}

void PermissionCoordinator::handleApplicationDidResignActive() {
    m_hasRetriedPromptAfterActivation = false;
}

QCoro::Task<bool> PermissionCoordinator::requestMicrophonePermission() {
    switch (m_dependencies.probe->microphoneAuthorizationStatus()) {
    case MicrophoneAuthorizationStatus::notDetermined: {
        auto answer = std::make_shared<CrossThreadPromise<bool>>();
        m_dependencies.probe->requestMicrophoneAccess(
            [answer](bool granted) { answer->resolve(granted); });
        const bool granted = co_await *answer;
        co_return granted;
    }
    case MicrophoneAuthorizationStatus::authorized:
        co_return true;
    default:
        co_return false;
    }
}

QCoro::Task<void> PermissionCoordinator::requestUndeterminedPermissionsIfNeeded() {
    QPointer<PermissionCoordinator> guard(this);
    if (!m_hasTriggeredAutomaticPrompt || m_hasRetriedPromptAfterActivation)
        co_return;
    QList<PermissionKind> undetermined;
    for (const PermissionState &state : std::as_const(m_states)) {
        if (state.status == PermissionAuthorizationState::notDetermined)
            undetermined.append(state.kind);
    }
    if (undetermined.isEmpty())
        co_return;
    m_hasRetriedPromptAfterActivation = true;
    for (PermissionKind kind : std::as_const(undetermined)) {
        co_await request(kind);
        if (!guard)
            co_return;
    }
    refreshStates();
}

QCoro::Task<void> PermissionCoordinator::request(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone:
        co_await requestMicrophonePermission();
        break;
    case PermissionKind::inputMonitoring:
        if (!m_dependencies.probe->preflightListenEventAccess())
            m_dependencies.probe->requestListenEventAccess();
        break;
    case PermissionKind::accessibility:
        m_dependencies.probe->isProcessTrusted(true);
        break;
    }
}

void PermissionCoordinator::setGuidedRequestInProgress(bool inProgress) {
    m_isGuidedRequestInProgress = inProgress;
    Q_EMIT isGuidedRequestInProgressChanged(inProgress);
}

PermissionAuthorizationState PermissionCoordinator::microphoneStatus() {
    switch (int(m_dependencies.probe->microphoneAuthorizationStatus())) {
    case int(MicrophoneAuthorizationStatus::notDetermined):
        return PermissionAuthorizationState::notDetermined;
    case int(MicrophoneAuthorizationStatus::restricted):
    case int(MicrophoneAuthorizationStatus::denied):
        return PermissionAuthorizationState::denied;
    case int(MicrophoneAuthorizationStatus::authorized):
        return PermissionAuthorizationState::granted;
    default:
        return PermissionAuthorizationState::needsManualEnable;
    }
}

PermissionAuthorizationState PermissionCoordinator::inputMonitoringStatus(bool prompt) {
    const bool granted = m_dependencies.probe->preflightListenEventAccess();
    if (!granted && prompt)
        m_dependencies.probe->requestListenEventAccess();
    return granted ? PermissionAuthorizationState::granted
                   : PermissionAuthorizationState::needsManualEnable;
}

PermissionAuthorizationState PermissionCoordinator::accessibilityStatus(bool prompt) {
    return m_dependencies.probe->isProcessTrusted(prompt)
               ? PermissionAuthorizationState::granted
               : PermissionAuthorizationState::needsManualEnable;
}

PermissionAuthorizationState PermissionCoordinator::permissionStatus(PermissionKind kind,
                                                                     bool prompt) {
    switch (kind) {
    case PermissionKind::microphone:
        return microphoneStatus();
    case PermissionKind::inputMonitoring:
        return inputMonitoringStatus(prompt);
    case PermissionKind::accessibility:
        return accessibilityStatus(prompt);
    }
    return PermissionAuthorizationState::notDetermined;
}

} // namespace tovalit
