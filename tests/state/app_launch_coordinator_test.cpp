#include "platform/fake/fake_permission_probe.h"
#include "platform/fake/fake_system_settings_opener.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "services/permissions/permission_coordinator.h"
#include "services/settings/app_configuration_store.h"
#include "state/app_launch_coordinator.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

const QString onboardingKey =
    QStringLiteral("vellup_transcriber.hasCompletedPermissionsOnboarding");

class LaunchCoordinatorTest : public ::testing::Test {
protected:
    LaunchCoordinatorTest() {
        probe->setMicrophone(MicrophoneAuthorizationStatus::authorized);
        probe->setListenEventAccess(true);
        probe->setTrusted(true);
    }

    PermissionCoordinator &makeCoordinators(
        QList<PermissionKind> kinds = {PermissionKind::microphone, PermissionKind::inputMonitoring,
                                       PermissionKind::accessibility}) {
        PermissionCoordinator::Dependencies d;
        d.probe = probe;
        d.settingsOpener = std::make_shared<FakeSystemSettingsOpener>();
        permissions = std::make_unique<PermissionCoordinator>(store, kinds, d);
        launch = std::make_unique<AppLaunchCoordinator>(store, *permissions);
        return *permissions;
    }

    InMemoryDefaultsStore defaults;
    AppConfigurationStore store{defaults, AppConfigurationStore::Environment()};
    std::shared_ptr<FakePermissionProbe> probe = std::make_shared<FakePermissionProbe>();
    std::unique_ptr<PermissionCoordinator> permissions;
    std::unique_ptr<AppLaunchCoordinator> launch;
};

TEST_F(LaunchCoordinatorTest, EverythingGrantedGoesStraightToTheClientAndMarksTheOnboardingDone) {
    makeCoordinators();
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());
    EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());
    EXPECT_EQ(defaults.boolean(onboardingKey), true) << "saved to the user defaults";

    // Revoking a permission later brings the onboarding back (nothing was
    // bypassed) but never clears the persisted flag.
    probe->setTrusted(false);
    permissions->refreshStates();
    EXPECT_TRUE(launch->shouldShowPermissionsOnboarding());
    EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());

    // No required permission at all counts as everything granted.
    store.setHasCompletedPermissionsOnboarding(false);
    makeCoordinators({});
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());
    EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());
}

TEST_F(LaunchCoordinatorTest, AMissingPermissionGatesUntilTheUserGoesOnAnywayForThisRun) {
    probe->setMicrophone(MicrophoneAuthorizationStatus::denied);
    makeCoordinators();
    EXPECT_TRUE(launch->shouldShowPermissionsOnboarding());

    QSignalSpy published(launch.get(),
                         &AppLaunchCoordinator::shouldShowPermissionsOnboardingChanged);
    launch->continueToClient(false);
    EXPECT_TRUE(launch->shouldShowPermissionsOnboarding()) << "not without force";
    EXPECT_EQ(published.count(), 0);

    launch->continueToClient(true);
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());
    EXPECT_FALSE(store.hasCompletedPermissionsOnboarding()) << "a bypass is never persisted";
    EXPECT_FALSE(defaults.boolean(onboardingKey).value_or(false));

    // The bypass holds for the rest of the run, whatever the states do.
    probe->setListenEventAccess(false);
    permissions->refreshStates();
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());
    store.setHasCompletedPermissionsOnboarding(true);
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());

    // A new run starts gated again.
    AppLaunchCoordinator nextRun(store, *permissions);
    EXPECT_TRUE(nextRun.shouldShowPermissionsOnboarding());
}

TEST_F(LaunchCoordinatorTest, OnlyGrantedCountsAndEveryStateIsWalked) {
    // Only the last kind is missing.
    probe->setTrusted(false);
    makeCoordinators();
    EXPECT_TRUE(launch->shouldShowPermissionsOnboarding());

    // The persisted flag set from outside does not open the gate.
    store.setHasCompletedPermissionsOnboarding(true);
    EXPECT_TRUE(launch->shouldShowPermissionsOnboarding());

    // Undetermined counts as missing too.
    probe->setTrusted(true);
    probe->setMicrophone(MicrophoneAuthorizationStatus::notDetermined);
    permissions->refreshStates();
    EXPECT_TRUE(launch->shouldShowPermissionsOnboarding());

    // Granting the last one leaves the onboarding on the next refresh.
    store.setHasCompletedPermissionsOnboarding(false);
    probe->setMicrophone(MicrophoneAuthorizationStatus::authorized);
    QSignalSpy published(launch.get(),
                         &AppLaunchCoordinator::shouldShowPermissionsOnboardingChanged);
    permissions->refreshStates();
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());
    EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());
    ASSERT_GE(published.count(), 1);
    EXPECT_FALSE(published.last().at(0).toBool());

    // Going on once everything is granted is allowed without force.
    launch->continueToClient(false);
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());
}

TEST_F(LaunchCoordinatorTest, MarkingTheOnboardingDoneDoesNotEvaluateAgainFromWithin) {
    probe->setTrusted(false);
    makeCoordinators();
    probe->setTrusted(true);
    QSignalSpy published(launch.get(),
                         &AppLaunchCoordinator::shouldShowPermissionsOnboardingChanged);
    permissions->refreshStates();
    // The flag's own announcement during the evaluation is ignored: one
    // decision, one publication.
    EXPECT_EQ(published.count(), 1);
    EXPECT_TRUE(store.hasCompletedPermissionsOnboarding());
}

TEST_F(LaunchCoordinatorTest, AKeyCombinationDoesNotWaitForTheKeyboardDevices) {
    // Stored as an older version saved it: Alt+Super+K.
    defaults.setData(
        QStringLiteral("vellup_transcriber.shortcutConfiguration"),
        R"({"kind":"keyboardShortcut","keyCode":40,"modifiersRawValue":1572864,"keyDisplay":"K"})");
    AppConfigurationStore combinationStore{defaults, AppConfigurationStore::Environment()};
    ASSERT_FALSE(combinationStore.shortcutConfiguration().isFunctionKey());
    probe->setListenEventAccess(false);
    PermissionCoordinator::Dependencies d;
    d.probe = probe;
    d.settingsOpener = std::make_shared<FakeSystemSettingsOpener>();
    PermissionCoordinator coordinator(combinationStore,
                                      {PermissionKind::microphone, PermissionKind::inputMonitoring,
                                       PermissionKind::accessibility},
                                      d);
    AppLaunchCoordinator combination(combinationStore, coordinator);
    EXPECT_FALSE(combination.shouldShowPermissionsOnboarding())
        << "the input group serves the bare Fn key only";
    EXPECT_TRUE(combinationStore.hasCompletedPermissionsOnboarding());
    EXPECT_EQ(combination.neededStates().size(), 2);

    // Choosing Fn makes the keyboard devices needed at once, and going on
    // without them needs the user's say-so again.
    combinationStore.setShortcutConfiguration(ShortcutConfiguration::functionKey());
    EXPECT_TRUE(combination.shouldShowPermissionsOnboarding());
    combination.continueToClient(false);
    EXPECT_TRUE(combination.shouldShowPermissionsOnboarding());
    EXPECT_EQ(combination.neededStates().size(), 3);

    // Back to a combination, the gate opens again by itself.
    combinationStore.setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::control | ModifierFlag::option, QStringLiteral("K")));
    EXPECT_FALSE(combination.shouldShowPermissionsOnboarding());

    // Any other missing permission still gates a combination.
    probe->setTrusted(false);
    coordinator.refreshStates();
    EXPECT_TRUE(combination.shouldShowPermissionsOnboarding());
}

} // namespace
} // namespace tovalit
