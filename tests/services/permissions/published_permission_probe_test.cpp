#include "platform/fake/fake_permission_probe.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "services/permissions/published_permission_probe.h"
#include "services/settings/app_configuration_store.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using State = PermissionAuthorizationState;
using Microphone = MicrophoneAuthorizationStatus;

TEST(PublishedPermissionProbe, AnswersWhatWasPublishedAndAsksTheSystemInTheBackground) {
    InMemoryDefaultsStore defaults;
    AppConfigurationStore store(defaults, AppConfigurationStore::Environment{});
    auto system = std::make_shared<FakePermissionProbe>();
    PublishedPermissionProbe probe(store, system);

    EXPECT_EQ(probe.microphoneAuthorizationStatus(), Microphone::notDetermined);
    EXPECT_FALSE(probe.preflightListenEventAccess());
    EXPECT_FALSE(probe.isProcessTrusted(false));
    const QList<std::pair<State, Microphone>> microphone{
        {State::granted, Microphone::authorized},
        {State::denied, Microphone::denied},
        {State::needsManualEnable, Microphone::unavailable}};
    for (const auto &[published, answer] : microphone) {
        store.setCachedMicrophonePermission(published);
        EXPECT_EQ(probe.microphoneAuthorizationStatus(), answer);
    }
    store.setCachedInputMonitoringPermission(State::granted);
    store.setCachedAccessibilityPermission(State::granted);
    EXPECT_TRUE(probe.preflightListenEventAccess());
    EXPECT_TRUE(probe.isProcessTrusted(false));
    EXPECT_TRUE(system->requests().isEmpty()) << "answering never asks the system";

    // A system that is slow to answer holds up nobody: the prompt and the
    // requests go to it in the background.
    system->holdAnswers();
    store.setCachedAccessibilityPermission(State::needsManualEnable);
    EXPECT_FALSE(probe.isProcessTrusted(true));
    probe.requestListenEventAccess();
    std::atomic<int> answers = 0;
    system->answerMicrophoneRequestsWith(true);
    probe.requestMicrophoneAccess([&answers](bool granted) { answers += granted ? 1 : 100; });
    ASSERT_TRUE(testing::waitUntil([&] { return system->heldCalls() == 1; }, "the prompt"));
    system->releaseAnswers();
    ASSERT_TRUE(testing::waitUntil([&] { return system->requests().size() == 3; }, "the requests"));
    EXPECT_TRUE(system->requests().contains(QStringLiteral("trust-prompt")));
    EXPECT_TRUE(system->requests().contains(QStringLiteral("listen")));
    ASSERT_TRUE(testing::waitUntil([&] { return answers == 1; }, "the microphone's answer"));
}

} // namespace
} // namespace tovalit
