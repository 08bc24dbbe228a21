// The permission coordinator over the desktop's own answers, probed off the
// GUI thread: a session bus service that hangs keeps the probe waiting but
// never the window.

#include "platform/fake/fake_system_settings_opener.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "platform/linux/linux_permission_probe.h"
#include "platform/linux/pulse_audio_input.h"
#include "services/permissions/permission_coordinator.h"
#include "services/settings/app_configuration_store.h"
#include "support/serial_executor.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/stalled_bus_name.h"
#include "tests/support/test_editor_process.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using Kind = PermissionKind;
using State = PermissionAuthorizationState;

const QList<Kind> allKinds{Kind::microphone, Kind::inputMonitoring, Kind::accessibility};

using testing::StalledBusName;

class PermissionCoordinatorOnTheDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(QDBusConnection::sessionBus().isConnected() &&
                                        !qEnvironmentVariableIsEmpty("DISPLAY"),
                                    "needs the desktop session of scripts/test");
        ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
    }

    std::unique_ptr<PermissionCoordinator> make(const QString &accessibilityBusService) {
        PermissionCoordinator::Dependencies dependencies;
        dependencies.probe = std::make_shared<LinuxPermissionProbe>(
            std::make_shared<PulseAudioInput>(), inputDevices.path(), accessibilityBusService);
        dependencies.settingsOpener = std::make_shared<FakeSystemSettingsOpener>();
        dependencies.probeExecutor = executor;
        return std::make_unique<PermissionCoordinator>(store, allKinds, std::move(dependencies));
    }

    InMemoryDefaultsStore defaults;
    AppConfigurationStore store{defaults, AppConfigurationStore::Environment{}};
    QTemporaryDir inputDevices;
    std::shared_ptr<SerialExecutor> executor =
        std::make_shared<SerialExecutor>(QStringLiteral("test permission probe"));
};

TEST_F(PermissionCoordinatorOnTheDesktop,
       AStalledAccessibilityBusKeepsTheProbeNotTheWindowWaiting) {
    StalledBusName stalled(QStringLiteral("org.tovalit.test.Stalled") +
                           QString::number(QCoreApplication::applicationPid()));
    ASSERT_TRUE(stalled.waitUntilOwned());

    // The GUI thread's own timer, counted while the probe waits on the bus.
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start();

    auto coordinator = make(stalled.name());
    QSignalSpy published(coordinator.get(), &PermissionCoordinator::statesChanged);
    coordinator->refreshStates();
    const int ticksBefore = ticks;
    EXPECT_EQ(published.count(), 0) << "nothing is answered before the bus is";
    ASSERT_TRUE(testing::waitUntil([&] { return published.count() == 2; },
                                   "the answers of both refreshes", 20s));
    EXPECT_GE(ticks - ticksBefore, 20)
        << "the GUI thread went on with its events while each probe waited a second on the bus";

    // The answers are still the desktop's: the session's microphone, no
    // keyboard to read, and no accessibility from a bus that never answers.
    auto statuses = [&] {
        QList<State> result;
        for (const PermissionState &state : coordinator->states())
            result.append(state.status);
        return result;
    };
    EXPECT_EQ(statuses(),
              (QList<State>{State::granted, State::needsManualEnable, State::needsManualEnable}));
    EXPECT_EQ(store.cachedAccessibilityPermission(), State::needsManualEnable);

    // Over the session's real accessibility bus, from the probe's thread.
    coordinator = make(QStringLiteral("org.a11y.Bus"));
    QSignalSpy answered(coordinator.get(), &PermissionCoordinator::statesChanged);
    ASSERT_TRUE(testing::waitUntil([&] { return answered.count() == 1; }, "the answers", 10s));
    EXPECT_EQ(statuses(), (QList<State>{State::granted, State::needsManualEnable, State::granted}));
    EXPECT_EQ(store.cachedAccessibilityPermission(), State::granted);
}

} // namespace
} // namespace tovalit
