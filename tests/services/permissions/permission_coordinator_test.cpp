#include "platform/application_activity.h"
#include "platform/fake/fake_permission_probe.h"
#include "platform/fake/fake_system_settings_opener.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "platform/fake/recording_remote_desktop_keyboard.h"
#include "services/permissions/permission_coordinator.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "services/settings/app_configuration_store.h"
#include "support/serial_executor.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Kind = PermissionKind;
using State = PermissionAuthorizationState;
using Microphone = MicrophoneAuthorizationStatus;

const QList<Kind> allKinds{Kind::microphone, Kind::inputMonitoring, Kind::accessibility};
const QString onboardingKey =
    QStringLiteral("vellup_transcriber.hasCompletedPermissionsOnboarding");

QList<State> statusesOf(const QList<PermissionState> &states) {
    QList<State> statuses;
    for (const PermissionState &state : states)
        statuses.append(state.status);
    return statuses;
}

QCoro::Task<void> requestAllThenMark(PermissionCoordinator *coordinator, bool *done) {
    co_await coordinator->requestRequiredPermissions();
    *done = true;
}

QCoro::Task<void> automaticPromptThenMark(PermissionCoordinator *coordinator, bool *done) {
    co_await coordinator->beginAutomaticPromptIfNeeded();
    *done = true;
}

class PermissionCoordinatorTest : public ::testing::Test {
protected:
    std::unique_ptr<PermissionCoordinator>
    make(QList<Kind> kinds = allKinds, QString bundlePath = QStringLiteral("/usr/bin/tovalit"),
         std::shared_ptr<SerialExecutor> probeExecutor = nullptr) {
        PermissionCoordinator::Dependencies dependencies;
        dependencies.probe = probe;
        dependencies.settingsOpener = opener;
        dependencies.activity = &activity;
        dependencies.bundlePath = std::move(bundlePath);
        dependencies.probeExecutor = std::move(probeExecutor);
        dependencies.remoteDesktopKeyboard = remoteDesktopKeyboard;
        return std::make_unique<PermissionCoordinator>(store, std::move(kinds),
                                                       std::move(dependencies));
    }
    void grantAll() {
        probe->setMicrophone(Microphone::authorized);
        probe->setListenEventAccess(true);
        probe->setTrusted(true);
    }

    InMemoryDefaultsStore defaults;
    AppConfigurationStore store{defaults, AppConfigurationStore::Environment{}};
    std::shared_ptr<FakePermissionProbe> probe = std::make_shared<FakePermissionProbe>();
    std::shared_ptr<FakeSystemSettingsOpener> opener = std::make_shared<FakeSystemSettingsOpener>();
    ApplicationActivity activity;
    // None: not a Wayland session.
    std::shared_ptr<RemoteDesktopKeyboard> remoteDesktopKeyboard;
};

TEST_F(PermissionCoordinatorTest, ProbingMapsTheSystemsAnswersWithoutPrompting) {
    probe->setMicrophone(Microphone::restricted);
    auto coordinator = make();
    EXPECT_EQ(statusesOf(coordinator->states()),
              (QList<State>{State::denied, State::needsManualEnable, State::needsManualEnable}))
        << "a restricted microphone is refused; the others were never asked yet need a hand";
    EXPECT_EQ(coordinator->states()[1].kind, Kind::inputMonitoring);
    EXPECT_TRUE(probe->requests().isEmpty()) << "probing never prompts";

    const QList<std::pair<Microphone, State>> microphone{
        {Microphone::notDetermined, State::notDetermined},
        {Microphone::denied, State::denied},
        {Microphone::authorized, State::granted},
        {Microphone::unavailable, State::needsManualEnable},
        {Microphone(9), State::needsManualEnable},
    };
    for (const auto &[answer, expected] : microphone) {
        probe->setMicrophone(answer);
        coordinator->refreshStates();
        EXPECT_EQ(coordinator->states()[0].status, expected) << int(answer);
    }
    grantAll();
    coordinator->refreshStates();
    EXPECT_EQ(coordinator->grantedRequiredCount(), 3);
    EXPECT_EQ(coordinator->requiredCount(), 3);
    EXPECT_TRUE(probe->requests().isEmpty());
}

TEST_F(PermissionCoordinatorTest, EveryRefreshPublishesAndFillsTheStoresCache) {
    probe->setMicrophone(Microphone::authorized);
    probe->setTrusted(true);
    auto coordinator = make();
    EXPECT_EQ(store.cachedMicrophonePermission(), State::granted);
    EXPECT_EQ(store.cachedInputMonitoringPermission(), State::needsManualEnable);
    EXPECT_EQ(store.cachedAccessibilityPermission(), State::granted);
    EXPECT_EQ(defaults.string(QStringLiteral("vellup_transcriber.cachedInputMonitoringPermission")),
              QStringLiteral("needsManualEnable"));
    EXPECT_EQ(coordinator->nextPendingState(),
              (PermissionState{Kind::inputMonitoring, State::needsManualEnable}));
    EXPECT_FALSE(store.hasCompletedPermissionsOnboarding());

    QSignalSpy published(coordinator.get(), &PermissionCoordinator::statesChanged);
    QSignalSpy cached(&store, &AppConfigurationStore::cachedMicrophonePermissionChanged);
    coordinator->refreshStates();
    EXPECT_EQ(published.count(), 1) << "also when nothing changed";
    EXPECT_EQ(cached.count(), 1);

    probe->setListenEventAccess(true);
    coordinator->refreshStates();
    EXPECT_TRUE(coordinator->allRequiredGranted());
    EXPECT_EQ(coordinator->nextPendingState(), std::nullopt);
    EXPECT_EQ(store.cachedInputMonitoringPermission(), State::granted);
    EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());
    EXPECT_EQ(defaults.boolean(onboardingKey), true);
}

TEST_F(PermissionCoordinatorTest, TheOnboardingFlagIsSetOnceAndNeverCleared) {
    grantAll();
    QSignalSpy flag(&store, &AppConfigurationStore::hasCompletedPermissionsOnboardingChanged);
    auto coordinator = make();
    EXPECT_EQ(flag.count(), 1) << "set by the refresh in the constructor";
    EXPECT_EQ(defaults.boolean(onboardingKey), true);
    coordinator->refreshStates();
    EXPECT_EQ(flag.count(), 1) << "not written again";

    probe->setTrusted(false);
    coordinator->refreshStates();
    EXPECT_FALSE(coordinator->allRequiredGranted());
    EXPECT_TRUE(store.hasCompletedPermissionsOnboarding()) << "revoking does not clear it";
}

TEST_F(PermissionCoordinatorTest, NoRequiredKindsMeansEverythingIsGranted) {
    auto coordinator = make({});
    EXPECT_TRUE(coordinator->states().isEmpty());
    EXPECT_TRUE(coordinator->allRequiredGranted());
    EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());
    EXPECT_EQ(coordinator->nextPendingState(), std::nullopt);
    QSignalSpy progress(coordinator.get(),
                        &PermissionCoordinator::isGuidedRequestInProgressChanged);
    testing::runTask(coordinator->performPrimaryGuidedAction());
    EXPECT_EQ(progress.count(), 0);
    EXPECT_TRUE(opener->opened().isEmpty());
}

TEST_F(PermissionCoordinatorTest, RequestsGoInOrderAndWaitForTheMicrophonesAnswer) {
    probe->setListenEventAccess(false);
    auto coordinator = make();
    QSignalSpy progress(coordinator.get(),
                        &PermissionCoordinator::isGuidedRequestInProgressChanged);
    bool done = false;
    auto sequence = requestAllThenMark(coordinator.get(), &done);
    EXPECT_TRUE(coordinator->isGuidedRequestInProgress());
    EXPECT_EQ(probe->requests(), QStringList{"microphone"}) << "nothing else until it is answered";

    // Meanwhile other work runs, an activation included.
    Q_EMIT activity.didBecomeActive();
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(probe->pendingMicrophoneRequests(), 1);

    ASSERT_TRUE(probe->answerMicrophoneRequest(true));
    ASSERT_TRUE(testing::waitUntil([&] { return done; }, "the request sequence"));
    EXPECT_EQ(probe->requests(), (QStringList{"microphone", "listen", "trust-prompt"}));
    EXPECT_EQ(coordinator->states()[0].status, State::granted);
    EXPECT_FALSE(coordinator->isGuidedRequestInProgress());
    ASSERT_EQ(progress.count(), 2);
    EXPECT_EQ(progress[0][0].toBool(), true);
    EXPECT_EQ(progress[1][0].toBool(), false);
}

TEST_F(PermissionCoordinatorTest, RequestingWhatIsGrantedPromptsNothingButStillRefreshes) {
    grantAll();
    auto coordinator = make();
    QSignalSpy published(coordinator.get(), &PermissionCoordinator::statesChanged);
    QSignalSpy progress(coordinator.get(),
                        &PermissionCoordinator::isGuidedRequestInProgressChanged);
    testing::runTask(coordinator->requestRequiredPermissions());
    EXPECT_EQ(probe->requests(), QStringList{"trust-prompt"})
        << "only the accessibility option, which the system ignores for a trusted process";
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(progress.count(), 2);

    // A decided microphone is never prompted again, denied or not.
    probe->clearRequests();
    probe->setMicrophone(Microphone::denied);
    testing::runTask(coordinator->requestMicrophonePermissionAgain());
    EXPECT_TRUE(probe->requests().isEmpty());
    EXPECT_EQ(coordinator->states()[0].status, State::denied);
}

TEST_F(PermissionCoordinatorTest, TheGuidedActionWorksOnTheFirstMissingPermission) {
    probe->setMicrophone(Microphone::authorized);
    auto coordinator = make();
    QSignalSpy progress(coordinator.get(),
                        &PermissionCoordinator::isGuidedRequestInProgressChanged);
    // Reading the keyboard devices has no page on any desktop, nor a
    // request: the onboarding shows its steps instead.
    testing::runTask(coordinator->performPrimaryGuidedAction());
    EXPECT_TRUE(opener->opened().isEmpty());
    EXPECT_TRUE(probe->requests().isEmpty()) << "no input-monitoring request here";
    EXPECT_EQ(progress.count(), 0);

    // Accessibility is switched on, not its page opened, and read again.
    probe->setListenEventAccess(true);
    probe->setTrusted(false);
    coordinator->refreshStates();
    probe->setTrusted(true);
    testing::runTask(coordinator->performPrimaryGuidedAction());
    EXPECT_EQ(probe->requests(), QStringList{"trust-prompt"});
    EXPECT_TRUE(opener->opened().isEmpty());
    EXPECT_EQ(coordinator->states()[2].status, State::granted);
    EXPECT_EQ(progress.count(), 2);
    probe->clearRequests();

    // A refused microphone: no prompt, a refresh, and its page.
    probe->setMicrophone(Microphone::denied);
    coordinator->refreshStates();
    QSignalSpy published(coordinator.get(), &PermissionCoordinator::statesChanged);
    testing::runTask(coordinator->performPrimaryGuidedAction());
    EXPECT_TRUE(probe->requests().isEmpty());
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(opener->opened().last(),
              QUrl("x-apple.systempreferences:com.apple.preference.security?Privacy_Microphone"));

    // An undecided one is asked first; its page opens whatever the answer.
    probe->setMicrophone(Microphone::notDetermined);
    coordinator->refreshStates();
    probe->answerMicrophoneRequestsWith(true);
    testing::runTask(coordinator->performPrimaryGuidedAction());
    EXPECT_EQ(probe->requests(), QStringList{"microphone"});
    EXPECT_EQ(coordinator->states()[0].status, State::granted);
    EXPECT_EQ(opener->opened().size(), 2);
}

TEST_F(PermissionCoordinatorTest, TheAutomaticPromptRunsOncePerProcess) {
    probe->answerMicrophoneRequestsWith(false);
    auto coordinator = make();
    testing::runTask(coordinator->beginAutomaticPromptIfNeeded());
    EXPECT_EQ(probe->requests(), (QStringList{"microphone", "listen", "trust-prompt"}));
    probe->clearRequests();
    testing::runTask(coordinator->beginAutomaticPromptIfNeeded());
    EXPECT_TRUE(probe->requests().isEmpty());
}

TEST_F(PermissionCoordinatorTest, ActivationRefreshesAndRetriesAnUndecidedMicrophoneOnce) {
    auto coordinator = make();
    QSignalSpy published(coordinator.get(), &PermissionCoordinator::statesChanged);

    // Before the automatic request: a refresh, no request.
    Q_EMIT activity.didBecomeActive();
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(published.count(), 1);
    EXPECT_TRUE(probe->requests().isEmpty());

    // The automatic request, left unanswered by the user.
    probe->answerMicrophoneRequestsWith(std::nullopt);
    bool firstDone = false;
    auto first = automaticPromptThenMark(coordinator.get(), &firstDone);
    ASSERT_EQ(probe->pendingMicrophoneRequests(), 1);
    probe->clearRequests();

    // Every activation may ask again while it is undecided, once each.
    Q_EMIT activity.didBecomeActive();
    ASSERT_TRUE(testing::waitUntil([&] { return probe->pendingMicrophoneRequests() == 2; },
                                   "a retry after activation"));
    Q_EMIT activity.didBecomeActive();
    ASSERT_TRUE(testing::waitUntil([&] { return probe->pendingMicrophoneRequests() == 3; },
                                   "a retry after the next activation"));
    EXPECT_EQ(probe->requests(), (QStringList{"microphone", "microphone"}));

    // Resigning alone retries nothing.
    Q_EMIT activity.didResignActive();
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(probe->pendingMicrophoneRequests(), 3);

    while (probe->answerMicrophoneRequest(true)) {
    }
    ASSERT_TRUE(testing::waitUntil([&] { return firstDone; }, "the automatic request"));
    EXPECT_EQ(coordinator->states()[0].status, State::granted);

    // Decided: activations refresh and ask nothing.
    probe->clearRequests();
    Q_EMIT activity.didBecomeActive();
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_TRUE(probe->requests().isEmpty());
}

TEST_F(PermissionCoordinatorTest, OpeningPagesAndPromptingAccessibilityAgain) {
    auto coordinator = make();
    coordinator->openSystemSettings(Kind::accessibility);
    EXPECT_EQ(opener->opened(),
              QList<QUrl>{QUrl("x-apple.systempreferences:com.apple.preference.security?"
                               "Privacy_Accessibility")});
    QSignalSpy published(coordinator.get(), &PermissionCoordinator::statesChanged);
    probe->setTrusted(true);
    coordinator->promptAccessibilityAgain();
    EXPECT_EQ(probe->requests(), QStringList{"trust-prompt"});
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(coordinator->states()[2].status, State::granted);
}

TEST_F(PermissionCoordinatorTest, ASlowProbeNeverHoldsUpTheGuiThreadAndItsAnswersFollow) {
    // What the last run found.
    store.setCachedMicrophonePermission(State::granted);
    store.setCachedInputMonitoringPermission(State::needsManualEnable);
    store.setCachedAccessibilityPermission(State::granted);
    grantAll();
    probe->holdAnswers();
    auto executor = std::make_shared<SerialExecutor>(QStringLiteral("test permission probe"));
    auto coordinator = make(allKinds, QStringLiteral("/usr/bin/tovalit"), executor);
    QSignalSpy published(coordinator.get(), &PermissionCoordinator::statesChanged);
    EXPECT_EQ(statusesOf(coordinator->states()),
              (QList<State>{State::granted, State::needsManualEnable, State::granted}))
        << "the cached states stand in while the probe is asked";
    ASSERT_TRUE(testing::waitUntil([&] { return probe->heldCalls() == 1; }, "the probe asked"));

    // The GUI thread goes on meanwhile, and so does everything on it.
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    ASSERT_TRUE(testing::waitUntil([&] { return ran; }, "an event on the GUI thread"));
    coordinator->refreshStates();
    coordinator->refreshStates();
    bool requested = false;
    auto sequence = requestAllThenMark(coordinator.get(), &requested);
    EXPECT_EQ(published.count(), 0);
    EXPECT_TRUE(coordinator->isGuidedRequestInProgress());

    probe->releaseAnswers();
    ASSERT_TRUE(testing::waitUntil([&] { return requested; }, "the request sequence"));
    EXPECT_TRUE(coordinator->allRequiredGranted());
    EXPECT_EQ(store.cachedInputMonitoringPermission(), State::granted);
    EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());
    EXPECT_FALSE(coordinator->isGuidedRequestInProgress());
    EXPECT_EQ(probe->requests(), QStringList{"trust-prompt"});
    // The first probe's answers, those of the one the two refreshes
    // shared, and the sequence's own.
    EXPECT_EQ(published.count(), 3);
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(published.count(), 3);

    // Going away while the probe is asked leaves it to finish on its own.
    probe->holdAnswers();
    coordinator->promptAccessibilityAgain();
    ASSERT_TRUE(testing::waitUntil([&] { return probe->heldCalls() == 1; }, "the prompt"));
    coordinator.reset();
    probe->releaseAnswers();
    testing::processEventsFor(std::chrono::milliseconds(20));
}

TEST_F(PermissionCoordinatorTest, OnlyAMountedDiskImageCountsAsOne) {
    EXPECT_TRUE(
        make(allKinds, QStringLiteral("/Volumes/Tovalit/Tovalit.app"))->isRunningFromDiskImage());
    EXPECT_FALSE(
        make(allKinds, QStringLiteral("/VolumesTovalit/Tovalit.app"))->isRunningFromDiskImage());
    EXPECT_FALSE(make(allKinds, QStringLiteral("/usr/bin/tovalit"))->isRunningFromDiskImage());
}

// A delivery under way holds the desktop's keyboard past the application's
// end. The settings go with the coordinator; the asking must go with it
// too: the desktop's window closes, and an answer given there anyway
// changes nothing.
TEST_F(PermissionCoordinatorTest, GoingEndsTheAskingForTheDesktopsKeyboard) {
    const auto keyboard = std::make_shared<RecordingRemoteDesktopKeyboard>();
    keyboard->holdAnswers(true);
    keyboard->answerWith(RemoteDesktopKeyboardError::Kind::refused);
    remoteDesktopKeyboard = keyboard;
    auto coordinator = make();
    const std::shared_ptr<RemoteDesktopKeyboardAccess> heldByADelivery =
        coordinator->remoteDesktopKeyboard();
    heldByADelivery->requestIfNeeded();
    ASSERT_TRUE(testing::waitUntil([&] { return keyboard->pendingOpenings() == 1; },
                                   "the desktop to ask the user"));

    coordinator.reset();
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(keyboard->pendingOpenings(), 0) << "the desktop still asks for an application gone";
    keyboard->releaseAnswers();
    testing::processEventsFor(std::chrono::milliseconds(20));
    EXPECT_FALSE(store.remoteDesktopKeyboardRefused());
    heldByADelivery->request();
    EXPECT_EQ(keyboard->openings().size(), 1);
}

} // namespace
} // namespace tovalit
