#include "platform/fake/fake_function_key_source.h"
#include "platform/fake/fake_permission_probe.h"
#include "platform/fake/fake_system_settings_opener.h"
#include "platform/fake/scripted_command_runner.h"
#include "platform/linux/x11_global_hot_key.h"
#include "platform/linux/x11_keymap.h"
#include "platform/linux/xcb_connection.h"
#include "platform/linux/xtest_escape_key_sender.h"
#include "services/shortcuts/delay_scheduler.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace tovalit {
namespace {

const ShortcutConfiguration controlOptionShiftK = ShortcutConfiguration::custom(
    40, ModifierFlag::control | ModifierFlag::option | ModifierFlag::shift, QStringLiteral("K"));
constexpr xcb_keycode_t kKeycode = KEY_K + 8;

bool xdotool(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Another X client holding key grabs of its own.
class OtherClient {
public:
    OtherClient()
        : m_x(XcbConnection::open()) {}
    bool grab(quint16 modifiers) {
        auto error = xcbReply(xcb_request_check(
            m_x->connection(),
            xcb_grab_key_checked(m_x->connection(), 1, m_x->root(), modifiers, kKeycode,
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        return !error;
    }
    void ungrab(quint16 modifiers) {
        xcb_ungrab_key(m_x->connection(), kKeycode, m_x->root(), modifiers);
        std::free(xcb_get_input_focus_reply(m_x->connection(),
                                            xcb_get_input_focus(m_x->connection()), nullptr));
    }
    quint16 controlAltShift() const {
        const auto keymap = X11Keymap::load(m_x->connection());
        return XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | keymap->altMask();
    }

private:
    std::shared_ptr<XcbConnection> m_x;
};

class X11HotKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        HotkeyMonitor::Dependencies dependencies;
        dependencies.globalHotKey = std::make_shared<X11GlobalHotKey>();
        dependencies.makeFunctionKeySource = [] {
            return std::make_shared<FakeFunctionKeySource>();
        };
        dependencies.permissions = std::make_shared<FakePermissionProbe>();
        dependencies.functionKeySystemSettings = std::make_shared<FunctionKeySystemSettings>(
            std::make_shared<ScriptedCommandRunner>(),
            std::make_shared<FakeSystemSettingsOpener>());
        dependencies.makeDelayScheduler = [] { return std::make_shared<ThreadDelayScheduler>(); };
        dependencies.uptime = systemMonotonicClock();
        dependencies.sleeper = systemSleeper();
        monitor = std::make_unique<HotkeyMonitor>(std::move(dependencies));
        monitor->setOnTrigger([this] { ++triggers; });
        monitor->setOnActivationStateChange(
            [this](const ShortcutActivationState &state) { states.append(state); });
    }

    std::unique_ptr<HotkeyMonitor> monitor;
    int triggers = 0;
    QList<ShortcutActivationState> states;
};

TEST_F(X11HotKeyTest, AGrabbedCombinationTriggersOncePerPressWhateverTheLockKeys) {
    monitor->start(controlOptionShiftK);
    ASSERT_EQ(states.last(), ShortcutActivationState::ready(
                                 QStringLiteral("Ctrl+Alt+Shift+K 已注册为全局快捷键")));

    ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+k"}));
    ASSERT_TRUE(testing::waitUntil([&] { return triggers == 1; }, "the first press"));
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+k", "ctrl+alt+shift+k"}));
    ASSERT_TRUE(testing::waitUntil([&] { return triggers == 3; }, "two more presses"));

    // Num Lock and Caps Lock on do not hide the combination.
    ASSERT_TRUE(xdotool({"key", "Num_Lock", "ctrl+alt+shift+k", "Num_Lock"}));
    ASSERT_TRUE(testing::waitUntil([&] { return triggers == 4; }, "a press with Num Lock on"));
    ASSERT_TRUE(xdotool({"key", "Caps_Lock", "ctrl+alt+shift+k", "Caps_Lock"}));
    ASSERT_TRUE(testing::waitUntil([&] { return triggers == 5; }, "a press with Caps Lock on"));

    // Other combinations are not ours.
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+k", "k", "ctrl+alt+shift+j"}));
    testing::processEventsFor(std::chrono::milliseconds(200));
    EXPECT_EQ(triggers, 5);

    monitor->stop();
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+k"}));
    testing::processEventsFor(std::chrono::milliseconds(200));
    EXPECT_EQ(triggers, 5) << "nothing after stop()";
    OtherClient other;
    EXPECT_TRUE(other.grab(other.controlAltShift())) << "the combination was let go";
}

TEST_F(X11HotKeyTest, HoldingTheCombinationIsOnePress) {
    monitor->start(controlOptionShiftK);
    ASSERT_TRUE(states.last().isHealthy());
    ASSERT_TRUE(xdotool({"keydown", "ctrl+alt+shift+k"}));
    // Long enough for the server's auto-repeat to start (660 ms delay).
    testing::processEventsFor(std::chrono::milliseconds(900));
    ASSERT_TRUE(xdotool({"keyup", "ctrl+alt+shift+k"}));
    ASSERT_TRUE(testing::waitUntil([&] { return triggers == 1; }, "the held press"));
    testing::processEventsFor(std::chrono::milliseconds(200));
    EXPECT_EQ(triggers, 1);

    ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+k"}));
    ASSERT_TRUE(testing::waitUntil([&] { return triggers == 2; }, "the next press"));
}

TEST_F(X11HotKeyTest, ACombinationHeldByAnotherProgramFailsAndLeavesNoPartialGrab) {
    OtherClient holder;
    const quint16 modifiers = holder.controlAltShift();
    ASSERT_TRUE(holder.grab(modifiers));
    monitor->start(controlOptionShiftK);
    EXPECT_EQ(states.last(), ShortcutActivationState::failed(
                                 QStringLiteral("Ctrl+Alt+Shift+K 注册失败，请换一个快捷键")));
    holder.ungrab(modifiers);

    // Only the Caps Lock variant is taken: the plain one we got first must
    // be given back.
    ASSERT_TRUE(holder.grab(modifiers | XCB_MOD_MASK_LOCK));
    monitor->start(controlOptionShiftK);
    EXPECT_FALSE(states.last().isHealthy());
    OtherClient third;
    EXPECT_TRUE(third.grab(modifiers)) << "a partial grab was left behind";
    third.ungrab(modifiers);
    holder.ungrab(modifiers | XCB_MOD_MASK_LOCK);

    monitor->start(controlOptionShiftK);
    EXPECT_TRUE(states.last().isHealthy()) << "free again";
}

TEST_F(X11HotKeyTest, KeysTheKeyboardDoesNotHaveAreRefused) {
    X11GlobalHotKey hotKey;
    hotKey.installHandler([](GlobalHotKey::Identifier) {});
    try {
        hotKey.registerHotKey(0x34, 0x100, HotkeyMonitor::hotKeyIdentifier);
        ADD_FAILURE() << "a key without a position must be refused";
    } catch (const GlobalHotKeyError &error) {
        EXPECT_EQ(error.kind(), GlobalHotKeyError::Kind::unknownKey);
        EXPECT_FALSE(error.localizedDescription().isEmpty());
    }
    hotKey.unregisterHotKey(HotkeyMonitor::hotKeyIdentifier);
    hotKey.removeHandler();
}

// Counts Escape presses that reach a focused line edit.
class EscapeCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

TEST_F(X11HotKeyTest, SyntheticEscapeReachesTheFocusedWindow) {
    if (QGuiApplication::platformName() != u"xcb")
        GTEST_SKIP() << "the widgets run on " << QGuiApplication::platformName().toStdString();
    QLineEdit field;
    EscapeCounter counter;
    field.installEventFilter(&counter);
    field.show();
    field.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&field));
    field.setFocus();

    XTestEscapeKeySender sender;
    ASSERT_TRUE(sender.sendEscapeKey());
    ASSERT_TRUE(testing::waitUntil([&] { return counter.count == 1; }, "the Escape press"));
    auto x = XcbConnection::open();
    EXPECT_TRUE(XTestEscapeKeySender::isAvailable(*x));
}

} // namespace
} // namespace tovalit
