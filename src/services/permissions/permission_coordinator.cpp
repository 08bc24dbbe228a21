#include "services/permissions/permission_coordinator.h"

#include "platform/application_activity.h"
#include "platform/display_session.h"
#include "platform/linux/desktop_settings_opener.h"
#include "platform/linux/libsecret_secret_store.h"
#include "platform/linux/linux_permission_probe.h"
#include "platform/linux/xdg_remote_desktop_portal.h"
#include "platform/permission_probe.h"
#include "platform/system_settings_opener.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "services/settings/app_configuration_store.h"
#include "support/cross_thread_promise.h"
#include "support/serial_executor.h"
#include "support/spawn.h"

#include <QCoreApplication>
#include <QPromise>
#include <QUrl>

#include <algorithm>

namespace tovalit {

namespace {

template <typename Result>
QCoro::Task<Result> ready(Result result) {
    co_return result;
}

QCoro::Task<void> ready() {
    co_return;
}

// Asks the probe where it is asked: on the executor, or at once without
// one. Not a coroutine: GCC 12 mishandles temporaries that own something
// in a co_await expression, so callers await only the task this returns.
template <typename Ask>
QCoro::Task<std::invoke_result_t<Ask &, PermissionProbe &>>
askProbe(const std::shared_ptr<SerialExecutor> &executor, std::shared_ptr<PermissionProbe> probe,
         Ask ask) {
    auto work = [probe = std::move(probe), ask = std::move(ask)] { return ask(*probe); };
    if (executor)
        return executor->run(std::move(work));
    if constexpr (std::is_void_v<std::invoke_result_t<Ask &, PermissionProbe &>>) {
        work();
        return ready();
    } else {
        return ready(work());
    }
}

PermissionAuthorizationState cachedState(const AppConfigurationStore &store, PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone:
        return store.cachedMicrophonePermission();
    case PermissionKind::inputMonitoring:
        return store.cachedInputMonitoringPermission();
    case PermissionKind::accessibility:
        return store.cachedAccessibilityPermission();
    }
    return PermissionAuthorizationState::notDetermined;
}

} // namespace

// One probe of every required kind, and the publication of its answers
// that the refreshes asked for before it started are waiting on.
struct PermissionCoordinator::ProbeRound {
    ProbeRound() { published.start(); }

    // Finished once the answers are out; cancelled when the coordinator
    // goes first.
    QPromise<void> published;
};

PermissionCoordinator::Dependencies PermissionCoordinator::Dependencies::linuxDefaults() {
    Dependencies dependencies;
    dependencies.probe = std::make_shared<LinuxPermissionProbe>();
    dependencies.settingsOpener = std::make_shared<DesktopSettingsOpener>();
    if (QCoreApplication::instance())
        dependencies.bundlePath = QCoreApplication::applicationFilePath();
    dependencies.probeExecutor =
        std::make_shared<SerialExecutor>(QStringLiteral("Tovalit permission probe"));
    // Keys sent through the X server reach no native Wayland window.
    if (DisplaySession::fromEnvironment().wayland)
        dependencies.remoteDesktopKeyboard = std::make_shared<XdgRemoteDesktopPortal>();
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
    if (m_dependencies.remoteDesktopKeyboard) {
        std::shared_ptr<SecretStore> secrets = m_dependencies.secrets;
        if (!secrets)
            secrets = std::make_shared<LibsecretSecretStore>();
        m_remoteDesktopKeyboard = std::make_shared<RemoteDesktopKeyboardAccess>(
            m_configurationStore, m_dependencies.remoteDesktopKeyboard, std::move(secrets),
            m_dependencies.sleeper);
    }
    // What the last run found stands in until the probe answers.
    for (PermissionKind kind : std::as_const(m_requiredKinds))
        m_states.append(PermissionState{kind, cachedState(m_configurationStore, kind)});
    refreshStates();
}

PermissionCoordinator::~PermissionCoordinator() {
    disconnect(m_appDidBecomeActiveObserver);
    disconnect(m_appDidResignActiveObserver);
    // A delivery under way may hold the desktop's keyboard past us; it must
    // not reach the settings that go with us.
    if (m_remoteDesktopKeyboard)
        m_remoteDesktopKeyboard->abandon();
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
    scheduleRefresh();
}

QCoro::Task<void> PermissionCoordinator::refresh() {
    const QFuture<void> published = scheduleRefresh();
    co_await published;
}

QFuture<void> PermissionCoordinator::scheduleRefresh() {
    // A probe that has not started yet will answer for this call too.
    if (m_nextRound)
        return m_nextRound->published.future();
    auto round = std::make_shared<ProbeRound>();
    QFuture<void> published = round->published.future();
    if (m_runningRound) {
        m_nextRound = std::move(round);
        return published;
    }
    m_runningRound = round;
    // Without an executor this publishes before it returns.
    probeAndPublish(std::move(round));
    return published;
}

QCoro::Task<void> PermissionCoordinator::probeAndPublish(std::shared_ptr<ProbeRound> round) {
    for (;;) {
        QPointer<PermissionCoordinator> guard(this);
        QList<PermissionState> states = co_await probeRequiredKinds();
        if (!guard)
            co_return;
        publish(std::move(states));
        round->published.finish();
        // Whoever heard the answers may have taken the coordinator down.
        if (!guard)
            co_return;
        // A refresh asked for while this probe ran wants newer answers.
        m_runningRound = std::exchange(m_nextRound, nullptr);
        if (!m_runningRound)
            co_return;
        round = m_runningRound;
    }
}

QCoro::Task<QList<PermissionState>> PermissionCoordinator::probeRequiredKinds() const {
    return askProbe(
        m_dependencies.probeExecutor, m_dependencies.probe,
        [kinds = m_requiredKinds](PermissionProbe &probe) { return probeStates(probe, kinds); });
}

void PermissionCoordinator::publish(QList<PermissionState> states) {
    m_states = std::move(states);
    Q_EMIT statesChanged(m_states);
    m_configurationStore.updateCachedPermissionStates(m_states);
    if (allRequiredGranted() && !m_configurationStore.hasCompletedPermissionsOnboarding())
        m_configurationStore.setHasCompletedPermissionsOnboarding(true);
}

QList<PermissionState> PermissionCoordinator::probeStates(PermissionProbe &probe,
                                                          const QList<PermissionKind> &kinds) {
    QList<PermissionState> states;
    for (PermissionKind kind : kinds)
        states.append(PermissionState{kind, permissionStatus(probe, kind, false)});
    return states;
}

QCoro::Task<void> PermissionCoordinator::requestRequiredPermissions() {
    QPointer<PermissionCoordinator> guard(this);
    setGuidedRequestInProgress(true);
    for (PermissionKind kind : m_requiredKinds) {
        co_await request(kind);
        if (!guard)
            co_return;
    }
    co_await refresh();
    if (!guard)
        co_return;
    setGuidedRequestInProgress(false);
}

QCoro::Task<void> PermissionCoordinator::beginAutomaticPromptIfNeeded() {
    if (m_hasTriggeredAutomaticPrompt)
        co_return;
    m_hasTriggeredAutomaticPrompt = true;
    co_await requestRequiredPermissions();
}

QCoro::Task<void> PermissionCoordinator::performPrimaryGuidedAction() {
    const std::optional<PermissionState> pending = nextPendingState();
    if (pending)
        co_await performGuidedAction(pending->kind);
}

QCoro::Task<void> PermissionCoordinator::performGuidedAction(PermissionKind kind) {
    if (kind == PermissionKind::inputMonitoring)
        co_return;
    QPointer<PermissionCoordinator> guard(this);
    setGuidedRequestInProgress(true);
    if (kind == PermissionKind::microphone) {
        co_await guideMicrophoneAccess();
    } else {
        co_await askProbe(m_dependencies.probeExecutor, m_dependencies.probe,
                          &PermissionCoordinator::promptAccessibility);
        if (!guard)
            co_return;
        co_await refresh();
    }
    if (!guard)
        co_return;
    setGuidedRequestInProgress(false);
}

QCoro::Task<void> PermissionCoordinator::guideMicrophoneAccess() {
    QPointer<PermissionCoordinator> guard(this);
    co_await requestMicrophonePermission();
    if (!guard)
        co_return;
    co_await refresh();
    if (!guard)
        co_return;
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
    if (!guard)
        co_return;
    co_await refresh();
}

void PermissionCoordinator::promptAccessibilityAgain() {
    // Runs on by itself; without an executor it is done on return.
    promptAccessibilityThenRefresh();
}

QCoro::Task<void> PermissionCoordinator::promptAccessibilityThenRefresh() {
    QPointer<PermissionCoordinator> guard(this);
    co_await askProbe(m_dependencies.probeExecutor, m_dependencies.probe,
                      &PermissionCoordinator::promptAccessibility);
    if (guard)
        refreshStates();
}

void PermissionCoordinator::handleApplicationDidBecomeActive() {
    m_hasRetriedPromptAfterActivation = false;
    const QFuture<void> refreshed = scheduleRefresh();
    spawn(
        this, [this, refreshed] { return retryUndeterminedPermissionsAfter(refreshed); },
        QStringLiteral("permission retry after activation"));
}

QCoro::Task<void>
PermissionCoordinator::retryUndeterminedPermissionsAfter(QFuture<void> refreshed) {
    QPointer<PermissionCoordinator> guard(this);
    // What is undecided is known once the activation's answers are in.
    co_await refreshed;
    if (guard)
        co_await requestUndeterminedPermissionsIfNeeded();
}

void PermissionCoordinator::handleApplicationDidResignActive() {
    m_hasRetriedPromptAfterActivation = false;
}

QCoro::Task<bool> PermissionCoordinator::requestMicrophonePermission() {
    const MicrophoneAuthorizationStatus status =
        co_await askProbe(m_dependencies.probeExecutor, m_dependencies.probe,
                          &PermissionCoordinator::microphoneAuthorization);
    switch (status) {
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
    co_await refresh();
}

QCoro::Task<void> PermissionCoordinator::request(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone:
        co_await requestMicrophonePermission();
        break;
    case PermissionKind::inputMonitoring:
        co_await askProbe(m_dependencies.probeExecutor, m_dependencies.probe,
                          &PermissionCoordinator::requestListenEventAccessIfMissing);
        break;
    case PermissionKind::accessibility:
        co_await askProbe(m_dependencies.probeExecutor, m_dependencies.probe,
                          &PermissionCoordinator::promptAccessibility);
        break;
    }
}

void PermissionCoordinator::setGuidedRequestInProgress(bool inProgress) {
    m_isGuidedRequestInProgress = inProgress;
    Q_EMIT isGuidedRequestInProgressChanged(inProgress);
}

MicrophoneAuthorizationStatus
PermissionCoordinator::microphoneAuthorization(PermissionProbe &probe) {
    return probe.microphoneAuthorizationStatus();
}

void PermissionCoordinator::requestListenEventAccessIfMissing(PermissionProbe &probe) {
    if (!probe.preflightListenEventAccess())
        probe.requestListenEventAccess();
}

void PermissionCoordinator::promptAccessibility(PermissionProbe &probe) {
    accessibilityStatus(probe, true);
}

PermissionAuthorizationState PermissionCoordinator::microphoneStatus(PermissionProbe &probe) {
    switch (int(probe.microphoneAuthorizationStatus())) {
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

PermissionAuthorizationState PermissionCoordinator::inputMonitoringStatus(PermissionProbe &probe,
                                                                          bool prompt) {
    const bool granted = probe.preflightListenEventAccess();
    if (!granted && prompt)
        probe.requestListenEventAccess();
    return granted ? PermissionAuthorizationState::granted
                   : PermissionAuthorizationState::needsManualEnable;
}

PermissionAuthorizationState PermissionCoordinator::accessibilityStatus(PermissionProbe &probe,
                                                                        bool prompt) {
    return probe.isProcessTrusted(prompt) ? PermissionAuthorizationState::granted
                                          : PermissionAuthorizationState::needsManualEnable;
}

PermissionAuthorizationState
PermissionCoordinator::permissionStatus(PermissionProbe &probe, PermissionKind kind, bool prompt) {
    switch (kind) {
    case PermissionKind::microphone:
        return microphoneStatus(probe);
    case PermissionKind::inputMonitoring:
        return inputMonitoringStatus(probe, prompt);
    case PermissionKind::accessibility:
        return accessibilityStatus(probe, prompt);
    }
    return PermissionAuthorizationState::notDetermined;
}

} // namespace tovalit
