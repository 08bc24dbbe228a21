#include "platform/fake/fake_desktop_global_shortcuts.h"
#include "platform/fake/fake_desktop_keyboard_settings.h"
#include "platform/fake/fake_function_key_source.h"
#include "platform/fake/fake_global_hot_key.h"
#include "platform/fake/fake_permission_probe.h"
#include "platform/fake/fake_system_settings_opener.h"
#include "platform/fake/scripted_command_runner.h"
#include "platform/linux/xdg_global_shortcuts_portal.h"
#include "services/shortcuts/desktop_keybinding.h"
#include "services/shortcuts/function_key_event_tap_strategy.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "tests/services/shortcuts/shortcut_test_support.h"
#include "tests/support/global_shortcuts_portal_stand_in.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::ManualClock;
using testing::ManualDelayScheduler;
using testing::SleepLog;

const ShortcutConfiguration optionCommandK = ShortcutConfiguration::custom(
    40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K"));

const QString fnReady =
    QStringLiteral("Fn 已开始监听（Linux 无法拦截 Fn，当前应用也会收到这次按键）");
const QString noFunctionKeyboard =
    QStringLiteral("没有找到会上报 Fn 键的键盘，Fn 无法监听；请在设置里录制一个组合快捷键");
const QString fnDegraded = fnReady;

class HotkeyMonitorTest : public ::testing::Test {
protected:
    HotkeyMonitorTest() {
        probe->setListenEventAccess(true);
        probe->setTrusted(true);
        makeMonitor(false);
    }

    // A monitor in an X11 or a Wayland session, with the fake desktop
    // service unless another is given.
    void makeMonitor(bool wayland,
                     std::shared_ptr<DesktopGlobalShortcuts> desktopService = nullptr) {
        monitor.reset();
        HotkeyMonitor::Dependencies dependencies;
        dependencies.globalHotKey = hotKey;
        dependencies.makeFunctionKeySource = [this] {
            ++tapsMade;
            return std::shared_ptr<FunctionKeySource>(source);
        };
        dependencies.permissions = probe;
        dependencies.functionKeySystemSettings = std::make_shared<FunctionKeySystemSettings>(
            runner, std::make_shared<FakeSystemSettingsOpener>());
        dependencies.makeDelayScheduler = [this] { return scheduler; };
        dependencies.uptime = uptime.clock();
        dependencies.sleeper = testing::recordingSleeper(sleeps);
        dependencies.desktopShortcuts = desktopService ? std::move(desktopService) : desktop;
        dependencies.isWaylandSession = wayland;
        dependencies.recordingActionCommand = recordingCommand;
        dependencies.desktopKeybinding = keybinding;
        dependencies.keyboardSettings = keyboardSettings;
        monitor = std::make_unique<HotkeyMonitor>(std::move(dependencies));
        monitor->setOnTrigger([this] { ++triggers; });
        monitor->setOnActivationStateChange([this](const ShortcutActivationState &state) {
            states.append(state);
            // The way is told first, so a card never shows a new state
            // beside an old way.
            routesAtStates.append(monitor->route());
        });
        monitor->setOnRouteChange([this](const ShortcutRoute &route) { routes.append(route); });
    }

    // Lets queued triggers reach the GUI thread.
    void settle() { testing::processEventsFor(std::chrono::milliseconds(20)); }

    std::shared_ptr<FakeGlobalHotKey> hotKey = std::make_shared<FakeGlobalHotKey>();
    std::shared_ptr<FakeFunctionKeySource> source = std::make_shared<FakeFunctionKeySource>();
    std::shared_ptr<FakePermissionProbe> probe = std::make_shared<FakePermissionProbe>();
    std::shared_ptr<ScriptedCommandRunner> runner = std::make_shared<ScriptedCommandRunner>();
    std::shared_ptr<ManualDelayScheduler> scheduler = std::make_shared<ManualDelayScheduler>();
    std::shared_ptr<SleepLog> sleeps = std::make_shared<SleepLog>();
    std::shared_ptr<FakeDesktopGlobalShortcuts> desktop =
        std::make_shared<FakeDesktopGlobalShortcuts>();
    const QString recordingCommand = QStringLiteral("tovalit --action toggle-recording");
    std::shared_ptr<FakeDesktopKeyboardSettings> keyboardSettings =
        std::make_shared<FakeDesktopKeyboardSettings>();
    // Only where a test gives the desktop keyboard settings we can write.
    std::shared_ptr<DesktopKeybinding> keybinding;
    ManualClock uptime;
    int tapsMade = 0;
    int triggers = 0;
    QList<ShortcutActivationState> states;
    QList<ShortcutRoute> routes;
    QList<ShortcutRoute> routesAtStates;
    std::unique_ptr<HotkeyMonitor> monitor;
};

TEST_F(HotkeyMonitorTest, AKeyCombinationIsRegisteredAndTriggersOncePerPressOnTheGuiThread) {
    EXPECT_EQ(monitor->currentConfiguration(), ShortcutConfiguration::functionKey());
    monitor->start(optionCommandK);
    ASSERT_EQ(states.size(), 1) << "reported synchronously";
    EXPECT_EQ(states[0],
              ShortcutActivationState::ready(QStringLiteral("Alt+Super+K 已注册为全局快捷键")));
    EXPECT_EQ(hotKey->calls(), (QStringList{"install", "register 40 0x900 KWVH/1"}));
    EXPECT_EQ(monitor->currentConfiguration(), optionCommandK);

    EXPECT_TRUE(hotKey->press(HotkeyMonitor::hotKeyIdentifier));
    EXPECT_EQ(triggers, 0) << "the press is delivered later, on the GUI thread";
    std::thread other([this] { hotKey->press(HotkeyMonitor::hotKeyIdentifier); });
    other.join();
    settle();
    EXPECT_EQ(triggers, 2);

    hotKey->press({fourCharacterCode("KWVH"), 2});
    hotKey->press({fourCharacterCode("ABCD"), 1});
    settle();
    EXPECT_EQ(triggers, 2) << "another signature or id never triggers";
    EXPECT_EQ(tapsMade, 0);
}

TEST_F(HotkeyMonitorTest, ACombinationThatCannotBeRegisteredFailsAndLeavesNothingInstalled) {
    auto noKeyCode = optionCommandK;
    noKeyCode.keyCode.reset();
    monitor->start(noKeyCode);
    EXPECT_EQ(states.last(), ShortcutActivationState::failed(
                                 QStringLiteral("Alt+Super+K 注册失败，请换一个快捷键")));
    EXPECT_TRUE(hotKey->calls().isEmpty()) << "no handler without a key code";

    hotKey->failRegistrations(GlobalHotKeyError(GlobalHotKeyError::Kind::alreadyTaken));
    monitor->start(optionCommandK);
    EXPECT_EQ(states.last(), ShortcutActivationState::failed(
                                 QStringLiteral("Alt+Super+K 注册失败，请换一个快捷键")));
    EXPECT_EQ(hotKey->calls(), (QStringList{"install", "register 40 0x900 KWVH/1", "remove"}));
    EXPECT_FALSE(hotKey->hasHandler());

    hotKey->clearCalls();
    hotKey->failRegistrations(std::nullopt);
    hotKey->failNextInstall(GlobalHotKeyError(GlobalHotKeyError::Kind::unavailable));
    monitor->start(optionCommandK);
    EXPECT_FALSE(states.last().isHealthy());
    EXPECT_EQ(hotKey->calls(), (QStringList{"install"}));

    // A failed start leaves nothing for the next one to undo.
    hotKey->clearCalls();
    monitor->start(optionCommandK);
    EXPECT_EQ(hotKey->calls(), (QStringList{"install", "register 40 0x900 KWVH/1"}));
}

TEST_F(HotkeyMonitorTest, RestartsUndoThePreviousInstallationFirst) {
    monitor->start(optionCommandK);
    monitor->start(optionCommandK);
    EXPECT_EQ(hotKey->calls(),
              (QStringList{"install", "register 40 0x900 KWVH/1", "unregister KWVH/1", "remove",
                           "install", "register 40 0x900 KWVH/1"}));
    EXPECT_EQ(hotKey->mostHotKeysAtOnce(), 1);
    EXPECT_EQ(hotKey->mostHandlersAtOnce(), 1);

    // Combination → Fn: the hot key goes before the tap starts.
    hotKey->clearCalls();
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(hotKey->calls(), (QStringList{"unregister KWVH/1", "remove"}));
    EXPECT_TRUE(source->isRunning());

    // Fn → combination: the tap stops before the hot key is registered.
    hotKey->clearCalls();
    int stopsWhenRegistering = -1;
    hotKey->failRegistrations(std::nullopt);
    monitor->setOnActivationStateChange(
        [&](const ShortcutActivationState &) { stopsWhenRegistering = source->stopCount(); });
    monitor->start(optionCommandK);
    EXPECT_FALSE(source->isRunning());
    EXPECT_EQ(stopsWhenRegistering, 1);

    monitor->stop();
    monitor->stop();
    EXPECT_EQ(hotKey->calls(),
              (QStringList{"install", "register 40 0x900 KWVH/1", "unregister KWVH/1", "remove"}));
}

TEST_F(HotkeyMonitorTest, FnNeedsTheKeyboardDevicesButNotAccessibility) {
    probe->setListenEventAccess(false);
    probe->setTrusted(false);
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(states.last(),
              ShortcutActivationState::failed(QStringLiteral(
                  "Fn 需要读取键盘设备：请把当前用户加入 input 组（sudo usermod -aG input $USER）"
                  "并重新登录，或在设置里录制一个组合快捷键")));
    EXPECT_EQ(probe->requests(), QStringList{"listen"});
    EXPECT_EQ(tapsMade, 0);

    // Reading the keyboard devices is all the Fn tap needs: accessibility
    // only serves writing the text, as it does for a key combination.
    probe->clearRequests();
    probe->setListenEventAccess(true);
    runner->enqueueSuccess("0\n");
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(states.last(), ShortcutActivationState::ready(fnReady));
    EXPECT_TRUE(probe->requests().isEmpty()) << "accessibility is neither checked nor asked for";
    EXPECT_EQ(tapsMade, 1);
    EXPECT_TRUE(source->isRunning());

    source->refuseStarts(true);
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(states.last(), ShortcutActivationState::failed(QStringLiteral(
                                 "无法读取键盘设备（/dev/input），Fn 无法监听；请确认当前用户在 "
                                 "input 组中并已重新登录")));
    EXPECT_EQ(source->lastConfiguration(), FunctionKeyEventTapStrategy::configuration());
    EXPECT_FALSE(source->isRunning());
    EXPECT_TRUE(hotKey->calls().isEmpty());

    // Keyboards that never report Fn: the user is sent to a combination.
    source->refuseStarts(true, FunctionKeyTapStart::noFunctionKey);
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(states.last(), ShortcutActivationState::failed(noFunctionKeyboard));
    EXPECT_FALSE(source->isRunning());
}

TEST_F(HotkeyMonitorTest, ARunningFnTapIsReadyOnlyWhenTheSystemFnActionIsOff) {
    runner->enqueueSuccess("0\n");
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(states.last(), ShortcutActivationState::ready(fnReady));
    ASSERT_EQ(runner->calls().size(), 1);
    EXPECT_EQ(runner->calls()[0].executable, QStringLiteral("/usr/bin/defaults"));

    runner->enqueueSuccess("2\n");
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(states.last(), ShortcutActivationState::degraded(fnDegraded));

    runner->enqueueFailure(1, "The domain/default pair does not exist\n");
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(states.last(), ShortcutActivationState::degraded(fnDegraded));
    EXPECT_TRUE(source->isRunning()) << "an unreadable setting only degrades the state";
    EXPECT_EQ(tapsMade, 3) << "a new tap for every start";
}

TEST_F(HotkeyMonitorTest, FnPressesTriggerOnTheGuiThread) {
    monitor->start(ShortcutConfiguration::functionKey());
    source->functionDown(1.00);
    source->functionUp(1.04);
    EXPECT_EQ(triggers, 0);
    settle();
    EXPECT_EQ(triggers, 1);

    source->functionDown(2.00);
    uptime.set(2.08);
    std::thread delayed([this] { scheduler->runAll(); });
    delayed.join();
    settle();
    EXPECT_EQ(triggers, 2);
}

TEST_F(HotkeyMonitorTest, WaitingForTheFnKeysReleaseWithTheKeyAlreadyUp) {
    monitor->start(ShortcutConfiguration::functionKey());
    testing::runTask(monitor->waitUntilShortcutReleaseSettles());
    EXPECT_EQ(sleeps->durations(), QList<double>{0.05});
}

TEST_F(HotkeyMonitorTest, WaitingForTheFnKeysReleaseGivesUpAfterHalfASecond) {
    monitor->start(ShortcutConfiguration::functionKey());
    source->functionDown(1.0);
    testing::runTask(monitor->waitUntilShortcutReleaseSettles());
    const QList<double> durations = sleeps->durations();
    ASSERT_EQ(durations.size(), 51);
    EXPECT_EQ(durations.count(0.01), 50);
    EXPECT_EQ(durations.last(), 0.05);
    EXPECT_NEAR(sleeps->total(), 0.55, 1e-9);
}

TEST_F(HotkeyMonitorTest, WaitingForTheFnKeysReleaseEndsSoonAfterIt) {
    monitor->start(ShortcutConfiguration::functionKey());
    source->functionDown(3.0);
    sleeps->setOnSleep([this](double total) {
        if (total > 0.025)
            source->functionUp(3.5);
    });
    testing::runTask(monitor->waitUntilShortcutReleaseSettles());
    EXPECT_EQ(sleeps->durations(), (QList<double>{0.01, 0.01, 0.01, 0.05}));
}

TEST_F(HotkeyMonitorTest, WaitingForACombinationsReleaseIsAlways80Milliseconds) {
    monitor->start(optionCommandK);
    testing::runTask(monitor->waitUntilShortcutReleaseSettles());
    EXPECT_EQ(sleeps->durations(), QList<double>{0.08});
}

TEST_F(HotkeyMonitorTest, AMonitorThatGoesAwayLeavesNothingInstalled) {
    monitor->start(optionCommandK);
    monitor->setOnTrigger([] { FAIL() << "a trigger reached a monitor that is gone"; });
    hotKey->press(HotkeyMonitor::hotKeyIdentifier);
    monitor.reset();
    settle();
    EXPECT_FALSE(hotKey->hasHandler());
    EXPECT_FALSE(hotKey->registered());
}

using Way = ShortcutRoute::Way;
using DesktopEvent = DesktopGlobalShortcuts::Event;

const ShortcutRoute desktopPortal = ShortcutRoute::of(Way::desktopPortal);

TEST_F(HotkeyMonitorTest, EachStartTellsTheWayTheShortcutTakes) {
    monitor->start(optionCommandK);
    EXPECT_EQ(monitor->route(), ShortcutRoute::of(Way::keyGrab));
    hotKey->failRegistrations(GlobalHotKeyError(GlobalHotKeyError::Kind::alreadyTaken));
    monitor->start(optionCommandK);
    EXPECT_EQ(monitor->route(), ShortcutRoute::of(Way::none));
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(monitor->route(), ShortcutRoute::of(Way::functionKeyDevice));
    EXPECT_EQ(routes,
              (QList<ShortcutRoute>{ShortcutRoute::of(Way::keyGrab), ShortcutRoute::of(Way::none),
                                    ShortcutRoute::of(Way::functionKeyDevice)}));
    EXPECT_EQ(routesAtStates, routes);
    EXPECT_TRUE(desktop->calls().isEmpty()) << "an X11 session grabs through the X server";

    // In a Wayland session the Fn key keeps its event device.
    makeMonitor(true);
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(monitor->route(), ShortcutRoute::of(Way::functionKeyDevice));
    EXPECT_TRUE(source->isRunning());
    settle();
    EXPECT_TRUE(desktop->calls().isEmpty());
}

TEST_F(HotkeyMonitorTest, InAWaylandSessionTheDesktopHoldsTheCombinationAndIsReadyWithItsKeys) {
    makeMonitor(true);
    desktop->bindTriggersAs(QStringLiteral("Alt+Meta+K"));
    monitor->start(optionCommandK);
    ASSERT_EQ(states.size(), 1) << "reported at once, before the desktop answers";
    EXPECT_FALSE(states[0].isHealthy());
    EXPECT_EQ(monitor->route(), desktopPortal);

    settle();
    EXPECT_EQ(desktop->calls(),
              (QStringList{"create session1", "bind session1 toggle-recording ALT+LOGO+k"}));
    EXPECT_TRUE(hotKey->calls().isEmpty()) << "no grab that only XWayland's windows would feed";
    // The keys the desktop names, which need not be those asked for.
    EXPECT_EQ(monitor->route(),
              ShortcutRoute::of(Way::desktopPortal, QStringLiteral("Alt+Meta+K")));
    ASSERT_EQ(states.size(), 2);
    EXPECT_TRUE(states[1].isHealthy());
    EXPECT_TRUE(states[1].message.contains(QStringLiteral("Alt+Meta+K")));

    const QString id = HotkeyMonitor::desktopShortcutId;
    EXPECT_TRUE(desktop->send({DesktopEvent::Kind::activated, QStringLiteral("session1"), id, {}}));
    EXPECT_EQ(triggers, 0) << "delivered later, on the GUI thread";
    desktop->send({DesktopEvent::Kind::deactivated, QStringLiteral("session1"), id, {}});
    desktop->send(
        {DesktopEvent::Kind::activated, QStringLiteral("session1"), QStringLiteral("other"), {}});
    desktop->send({DesktopEvent::Kind::activated, QStringLiteral("session9"), id, {}});
    settle();
    EXPECT_EQ(triggers, 1) << "only our shortcut going down, in our session";

    monitor->stop();
    EXPECT_EQ(desktop->calls().last(), QStringLiteral("close session1"));
    EXPECT_FALSE(desktop->hasHandler());
    desktop->send({DesktopEvent::Kind::activated, QStringLiteral("session1"), id, {}});
    settle();
    EXPECT_EQ(triggers, 1);
}

TEST_F(HotkeyMonitorTest, AHeldCombinationTheDesktopReportsAtEveryRepeatIsOnePress) {
    makeMonitor(true);
    keyboardSettings->setKeyRepeat(KeyRepeat{true, 0.5, 0.033});
    monitor->start(optionCommandK);
    settle();
    ASSERT_TRUE(states.last().isHealthy());
    const QString id = HotkeyMonitor::desktopShortcutId;
    const auto edge = [&](double at, DesktopEvent::Kind kind) {
        uptime.set(at);
        desktop->send({kind, QStringLiteral("session1"), id, {}});
    };
    const auto press = [&](double at) { edge(at, DesktopEvent::Kind::activated); };
    const auto release = [&](double at) { edge(at, DesktopEvent::Kind::deactivated); };

    // As GNOME sends a held press: at the press, then at each repeat,
    // then one release.
    for (const double at : {10.0, 10.5, 10.533, 10.566})
        press(at);
    release(10.6);
    settle();
    EXPECT_EQ(triggers, 1) << "one press, however long held";

    // Taps a second apart, and a quick one after a release.
    press(11.6);
    release(11.65);
    press(12.6);
    release(12.65);
    press(12.8);
    release(12.85);
    settle();
    EXPECT_EQ(triggers, 4);

    // A desktop that never says the keys went up: a press after the keys
    // stopped repeating is a new one.
    press(20.0);
    press(21.0);
    settle();
    EXPECT_EQ(triggers, 6);
}

TEST_F(HotkeyMonitorTest, ADesktopThatBindsNoKeysIsNotReadyUntilItReportsSome) {
    makeMonitor(true);
    desktop->bindTriggersAs(QString());
    monitor->start(optionCommandK);
    settle();
    EXPECT_EQ(desktop->calls(),
              (QStringList{"create session1", "bind session1 toggle-recording ALT+LOGO+k",
                           "list session1"}))
        << "the list is asked when the binding's answer names nothing";
    EXPECT_EQ(states.last().kind, ShortcutActivationState::Case::failed);
    EXPECT_EQ(monitor->route(), desktopPortal);

    // The user gives it keys in the desktop's settings.
    const DesktopShortcut bound{HotkeyMonitor::desktopShortcutId, QString(),
                                QStringLiteral("Ctrl+F9")};
    desktop->send({DesktopEvent::Kind::shortcutsChanged, QStringLiteral("session1"), {}, {bound}});
    EXPECT_TRUE(states.last().isHealthy());
    EXPECT_EQ(monitor->route().desktopTrigger, QStringLiteral("Ctrl+F9"));

    // A user who turns the desktop's request down can still bind later;
    // the session stays.
    desktop->failBinds(DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::cancelled));
    monitor->start(ShortcutConfiguration::custom(40, ModifierFlag::control, QStringLiteral("K")));
    settle();
    EXPECT_EQ(states.last().kind, ShortcutActivationState::Case::failed);
    EXPECT_EQ(monitor->route(), desktopPortal);
    EXPECT_EQ(desktop->openSessions(), QStringList{"session2"});
}

TEST_F(HotkeyMonitorTest, WithoutTheDesktopsServiceTheUserBindsTheCommandAndItIsNeverReady) {
    makeMonitor(true);
    const ShortcutRoute action = ShortcutRoute::of(Way::desktopAction, {}, recordingCommand);
    desktop->failSessions(
        DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::unavailable));
    monitor->start(optionCommandK);
    settle();
    EXPECT_EQ(monitor->route(), action);
    EXPECT_EQ(states.last().kind, ShortcutActivationState::Case::degraded);
    EXPECT_TRUE(states.last().message.contains(recordingCommand));
    EXPECT_TRUE(hotKey->calls().isEmpty());

    // A service that opens a session but cannot bind is no better, nor
    // one that refuses the bind: the user did not turn anything down, so
    // there is nothing to give keys to in the desktop's settings.
    desktop->failSessions(std::nullopt);
    for (const auto kind : {DesktopGlobalShortcutsError::Kind::noAnswer,
                            DesktopGlobalShortcutsError::Kind::refused}) {
        desktop->failBinds(DesktopGlobalShortcutsError(kind));
        monitor->start(optionCommandK);
        settle();
        EXPECT_EQ(monitor->route(), action);
        EXPECT_TRUE(desktop->openSessions().isEmpty());
    }

    // Nor one whose session the desktop ends.
    desktop->failBinds(std::nullopt);
    monitor->start(ShortcutConfiguration::custom(40, ModifierFlag::control, QStringLiteral("K")));
    settle();
    ASSERT_TRUE(states.last().isHealthy());
    const QString session = desktop->openSessions().value(0);
    desktop->closeSession(session);
    desktop->send({DesktopEvent::Kind::sessionClosed, session, {}, {}});
    EXPECT_EQ(monitor->route(), action);
    EXPECT_FALSE(states.last().isHealthy());
}

TEST_F(HotkeyMonitorTest, StartingAgainWithTheSameCombinationKeepsTheDesktopsSession) {
    makeMonitor(true);
    desktop->holdBinds(true);
    monitor->start(optionCommandK);
    settle();
    ASSERT_EQ(desktop->pendingBinds(), 1);
    // A permission changed: the user, maybe still in the desktop's dialog,
    // is not asked a second time.
    monitor->start(optionCommandK);
    settle();
    EXPECT_EQ(desktop->calls(),
              (QStringList{"create session1", "bind session1 toggle-recording ALT+LOGO+k"}));
    EXPECT_EQ(states.size(), 2) << "each start still reports";
    EXPECT_EQ(states[1], states[0]);

    // Another combination: the old session and its question go.
    monitor->start(ShortcutConfiguration::custom(40, ModifierFlag::control, QStringLiteral("K")));
    settle();
    EXPECT_EQ(desktop->openSessions(), QStringList{"session2"});
    EXPECT_EQ(desktop->pendingBinds(), 1) << "the first bind ended with its session";
    const qsizetype statesBefore = states.size();
    desktop->releaseBinds();
    settle();
    ASSERT_EQ(states.size(), statesBefore + 1) << "nothing of the first bind is reported";
    EXPECT_EQ(monitor->route().desktopTrigger, QStringLiteral("CTRL+k"));

    monitor.reset();
    EXPECT_EQ(desktop->calls().last(), QStringLiteral("close session2"));
}

TEST_F(HotkeyMonitorTest, WithoutThePortalOurOwnCustomShortcutInTheDesktopsSettingsCanHoldIt) {
    keybinding = std::make_shared<DesktopKeybinding>(keyboardSettings, recordingCommand);
    makeMonitor(true);
    desktop->failSessions(
        DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::unavailable));
    monitor->start(optionCommandK);
    settle();
    EXPECT_EQ(monitor->route(), ShortcutRoute::of(Way::desktopAction, {}, recordingCommand, true));
    EXPECT_TRUE(keyboardSettings->calls().isEmpty()) << "offered, never written unasked";

    // The user lets us write it, from the settings card.
    keybinding->hold(optionCommandK);
    settle();
    const QString written = QStringLiteral("write Tovalit：开始或停止录音 | ") + recordingCommand;
    EXPECT_EQ(keyboardSettings->calls(), QStringList{written + QStringLiteral(" | ALT+LOGO+k")});
    EXPECT_EQ(monitor->route(), ShortcutRoute::of(Way::desktopKeybinding,
                                                  QStringLiteral("ALT+LOGO+k"), recordingCommand));
    EXPECT_EQ(states.last(), ShortcutActivationState::ready(
                                 QStringLiteral("ALT+LOGO+k 已由桌面注册为全局快捷键")));

    // The user gives it other keys in the desktop's settings: those show,
    // and a start for a permission that changed keeps them.
    const QString name = DesktopKeybinding::name;
    keyboardSettings->changeAsUser(
        DesktopCustomShortcut{name, recordingCommand, QStringLiteral("Super+F9")});
    settle();
    EXPECT_EQ(monitor->route().desktopTrigger, QStringLiteral("Super+F9"));
    monitor->start(optionCommandK);
    settle();
    EXPECT_EQ(keyboardSettings->calls().size(), 1);
    EXPECT_EQ(states.last().message, QStringLiteral("Super+F9 已由桌面注册为全局快捷键"));

    // Without keys, or running something else, it holds nothing for us,
    // and can be written again.
    for (const DesktopCustomShortcut &left :
         {DesktopCustomShortcut{name, recordingCommand, QString()},
          DesktopCustomShortcut{name, QStringLiteral("gnome-calculator"),
                                QStringLiteral("Super+F9")}}) {
        keyboardSettings->changeAsUser(left);
        settle();
        EXPECT_EQ(monitor->route(),
                  ShortcutRoute::of(Way::desktopKeybinding, {}, recordingCommand, true));
        EXPECT_EQ(states.last().kind, ShortcutActivationState::Case::failed);
    }

    // Another combination: ours follows it.
    const ShortcutConfiguration controlK =
        ShortcutConfiguration::custom(40, ModifierFlag::control, QStringLiteral("K"));
    monitor->start(controlK);
    settle();
    EXPECT_EQ(keyboardSettings->calls().last(), written + QStringLiteral(" | CTRL+k"));
    EXPECT_EQ(monitor->route().desktopTrigger, QStringLiteral("CTRL+k"));

    // Removed by the user in the desktop's settings, it is only offered
    // again: a new combination writes nothing.
    keyboardSettings->changeAsUser(std::nullopt);
    settle();
    EXPECT_EQ(monitor->route(), ShortcutRoute::of(Way::desktopAction, {}, recordingCommand, true));
    const qsizetype callsBefore = keyboardSettings->calls().size();
    monitor->start(optionCommandK);
    settle();
    EXPECT_EQ(keyboardSettings->calls().size(), callsBefore);
    EXPECT_EQ(monitor->route().way, Way::desktopAction);

    // In an X11 session the desktop grabs the keys ours holds; the X
    // server grabs them for us again once ours holds none.
    keybinding->hold(optionCommandK);
    makeMonitor(false);
    monitor->start(optionCommandK);
    EXPECT_TRUE(hotKey->calls().isEmpty());
    EXPECT_EQ(monitor->route().way, Way::desktopKeybinding);
    EXPECT_TRUE(states.last().isHealthy());
    keyboardSettings->changeAsUser(DesktopCustomShortcut{name, recordingCommand, QString()});
    settle();
    EXPECT_EQ(monitor->route(), ShortcutRoute::of(Way::keyGrab));
    EXPECT_TRUE(hotKey->registered());

    // The Fn key: ours goes, in any session.
    monitor->start(ShortcutConfiguration::functionKey());
    EXPECT_EQ(keyboardSettings->calls().last(), QStringLiteral("remove"));
    EXPECT_EQ(keyboardSettings->customShortcut(), std::nullopt);
}

TEST_F(HotkeyMonitorTest, OurCustomShortcutHoldingTheKeysKeepsThePortalFromBindingThemToo) {
    // Written before the desktop had the portal (an upgrade since): one
    // press would start a recording twice over, that is, start and stop it.
    keybinding = std::make_shared<DesktopKeybinding>(keyboardSettings, recordingCommand);
    keybinding->hold(optionCommandK);
    makeMonitor(true);
    monitor->start(optionCommandK);
    settle();
    EXPECT_TRUE(desktop->calls().isEmpty()) << desktop->calls().join(", ").toStdString();
    EXPECT_EQ(monitor->route(), ShortcutRoute::of(Way::desktopKeybinding,
                                                  QStringLiteral("ALT+LOGO+k"), recordingCommand));
    EXPECT_TRUE(states.last().isHealthy());

    // The desktop refused the bind, so the user let us write ours; a start
    // for a permission that changed asks the portal no more.
    keyboardSettings->changeAsUser(std::nullopt);
    makeMonitor(true);
    desktop->failBinds(DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::refused));
    monitor->start(optionCommandK);
    settle();
    ASSERT_EQ(monitor->route().way, Way::desktopAction);
    keybinding->hold(optionCommandK);
    settle();
    ASSERT_EQ(monitor->route().way, Way::desktopKeybinding);
    desktop->failBinds(std::nullopt);
    desktop->clearCalls();
    monitor->start(optionCommandK);
    settle();
    EXPECT_TRUE(desktop->calls().isEmpty()) << desktop->calls().join(", ").toStdString();
    EXPECT_EQ(monitor->route().way, Way::desktopKeybinding);
}

TEST_F(HotkeyMonitorTest, APortalThatGoesAwayIsNotReadyAndIsAskedAgainOnceItIsBack) {
    using namespace std::chrono_literals;
    testing::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    testing::GlobalShortcutsPortalStandIn portal(bus.connect());
    ASSERT_TRUE(portal.start());
    makeMonitor(true, std::make_shared<XdgGlobalShortcutsPortal>(bus.connect(), 2s));
    const auto ready = [&] { return !states.isEmpty() && states.last().isHealthy(); };
    monitor->start(optionCommandK);
    ASSERT_TRUE(testing::waitUntil(ready, "the portal's binding"));

    // The portal's process ends, closing nothing on its way out.
    portal.stop();
    ASSERT_TRUE(testing::waitUntil([&] { return !ready(); }, "the shortcut to stop being ready"));
    EXPECT_FALSE(states.last().message.contains(QStringLiteral("已由桌面注册")));
    EXPECT_TRUE(monitor->route().desktopTrigger.isEmpty());

    // A permission changed meanwhile: started again with the same
    // combination, nothing of the lost session is kept.
    monitor->start(optionCommandK);
    ASSERT_TRUE(testing::waitUntil(
        [&] { return monitor->route().way != ShortcutRoute::Way::desktopPortal; },
        "the attempt without a portal to end"));
    EXPECT_FALSE(ready());

    // A portal takes the name again: the combination is asked for anew.
    ASSERT_TRUE(portal.start());
    ASSERT_TRUE(testing::waitUntil(ready, "the binding in the portal that came back"));
    EXPECT_EQ(portal.calls().count(QStringLiteral("BindShortcuts toggle-recording ALT+LOGO+k")), 2);
    ASSERT_EQ(portal.openSessions().size(), 1);
    portal.activate(portal.openSessions().first(), HotkeyMonitor::desktopShortcutId);
    EXPECT_TRUE(testing::waitUntil([&] { return triggers == 1; }, "the trigger"));
}

} // namespace
} // namespace tovalit
