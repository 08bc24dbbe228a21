#include "platform/fake/fake_global_hot_key.h"
#include "platform/fake/fake_permission_probe.h"
#include "platform/fake/fake_system_settings_opener.h"
#include "platform/fake/scripted_command_runner.h"
#include "platform/linux/evdev_function_key_source.h"
#include "platform/linux/evdev_keyboard.h"
#include "platform/virtual_key_code.h"
#include "services/shortcuts/delay_scheduler.h"
#include "services/shortcuts/function_key_event_tap_host.h"
#include "services/shortcuts/function_key_event_tap_strategy.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "support/clock.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <QTemporaryDir>

#include <atomic>
#include <cmath>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace tovalit {
namespace {

using Type = KeyboardTapEvent::Type;

// The pipe a test writes raw input events into, as the kernel would.
class EventPipe {
public:
    EventPipe() {
        int descriptors[2];
        EXPECT_EQ(pipe2(descriptors, O_CLOEXEC), 0);
        m_read = descriptors[0];
        m_write = descriptors[1];
        fcntl(m_read, F_SETFL, O_NONBLOCK);
    }
    ~EventPipe() { unplug(); }
    // The keyboard goes away: the reader meets the end of its stream.
    void unplug() {
        if (m_write >= 0)
            close(m_write);
        m_write = -1;
    }
    // Handed to the source, which closes it.
    int readEnd() const { return m_read; }

    void key(int code, int value, double seconds) {
        input_event event{};
        event.input_event_sec = decltype(event.input_event_sec)(std::floor(seconds));
        event.input_event_usec =
            decltype(event.input_event_usec)(std::llround((seconds - std::floor(seconds)) * 1e6));
        event.type = EV_KEY;
        event.code = quint16(code);
        event.value = value;
        input_event sync = event;
        sync.type = EV_SYN;
        sync.code = SYN_REPORT;
        sync.value = 0;
        // Written in two pieces to show records are put back together.
        const char *bytes = reinterpret_cast<const char *>(&event);
        ASSERT_EQ(write(m_write, bytes, 5), 5);
        ASSERT_EQ(write(m_write, bytes + 5, sizeof event - 5), ssize_t(sizeof event - 5));
        ASSERT_EQ(write(m_write, &sync, sizeof sync), ssize_t(sizeof sync));
    }
    void other(quint16 type, quint16 code, int value) {
        input_event event{};
        event.type = type;
        event.code = code;
        event.value = value;
        ASSERT_EQ(write(m_write, &event, sizeof event), ssize_t(sizeof event));
    }

private:
    int m_read = -1;
    int m_write = -1;
};

class RecordedEvents {
public:
    FunctionKeySource::Handler handler() {
        return [this](const KeyboardTapEvent &event) {
            std::lock_guard lock(m_mutex);
            m_events.append(event);
            m_threads.append(std::this_thread::get_id());
            return FunctionKeyEventDisposition::suppress;
        };
    }
    QList<KeyboardTapEvent> events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    bool allOffThread() const {
        std::lock_guard lock(m_mutex);
        return std::none_of(m_threads.begin(), m_threads.end(),
                            [](auto id) { return id == std::this_thread::get_id(); });
    }

private:
    mutable std::mutex m_mutex;
    QList<KeyboardTapEvent> m_events;
    QList<std::thread::id> m_threads;
};

TEST(EvdevFunctionKeySource, SeesTheFnKeyAndOtherKeysFromARawEventStream) {
    QTemporaryDir noDevices;
    EventPipe pipe;
    RecordedEvents recorded;
    EvdevFunctionKeySource source({noDevices.path(), {{pipe.readEnd()}}});
    ASSERT_EQ(source.start(FunctionKeyEventTapConfiguration{}, recorded.handler()),
              FunctionKeyTapStart::started);

    pipe.key(KEY_FN, 1, 100.25);
    pipe.key(KEY_FN, 2, 100.5) /* repeat */;
    pipe.other(EV_MSC, MSC_SCAN, 0x70);
    pipe.key(BTN_LEFT, 1, 100.6);
    pipe.key(KEY_K, 1, 101.0);
    pipe.key(KEY_K, 0, 101.1);
    pipe.key(KEY_LEFTSHIFT, 1, 101.2);
    pipe.key(KEY_FN, 0, 101.3);
    pipe.key(KEY_INSERT, 1, 101.4);
    ASSERT_TRUE(
        testing::waitUntil([&] { return recorded.events().size() == 7; }, "seven keyboard events"));

    const quint64 fn = ModifierFlag::function;
    const quint64 shift = ModifierFlag::shift;
    const QList<KeyboardTapEvent> expected{
        {Type::flagsChanged, VirtualKeyCode::function, fn, 100250000000ull},
        {Type::flagsChanged, VirtualKeyCode::function, fn, 100500000000ull},
        {Type::keyDown, 40, fn, 101000000000ull},
        {Type::keyUp, 40, fn, 101100000000ull},
        {Type::flagsChanged, VirtualKeyCode::shift, fn | shift, 101200000000ull},
        {Type::flagsChanged, VirtualKeyCode::function, shift, 101300000000ull},
        {Type::keyDown, KeyboardTapEvent::unknownKeyCode, shift, 101400000000ull},
    };
    EXPECT_EQ(recorded.events(), expected);
    EXPECT_TRUE(recorded.allOffThread());

    source.stop();
    EXPECT_EQ(fcntl(pipe.readEnd(), F_GETFD), -1) << "the stream is closed with the tap";
}

TEST(EvdevFunctionKeySource, WithoutAReadableKeyboardThereIsNoTap) {
    QTemporaryDir folder;
    EvdevFunctionKeySource empty({folder.path(), {}});
    EXPECT_EQ(empty.start(FunctionKeyEventTapConfiguration{}, RecordedEvents().handler()),
              FunctionKeyTapStart::unavailable);
    // Something named like a device that is not one (here a pipe).
    ASSERT_EQ(mkfifo(QFile::encodeName(folder.filePath("event3")).constData(), 0600), 0);
    EXPECT_EQ(EvdevKeyboard::devicePaths(folder.path()), QStringList{folder.filePath("event3")});
    EXPECT_FALSE(EvdevKeyboard::anyReadable(folder.path()));
    EXPECT_EQ(empty.start(FunctionKeyEventTapConfiguration{}, RecordedEvents().handler()),
              FunctionKeyTapStart::unavailable);
    EXPECT_FALSE(EvdevKeyboard::anyReadable(folder.filePath("missing")));
}

TEST(EvdevFunctionKeySource, AHeldFnKeyTriggersThroughTheWholeTap) {
    QTemporaryDir noDevices;
    EventPipe pipe;
    std::atomic<int> triggers = 0;
    const MonotonicClock uptime = systemMonotonicClock();
    FunctionKeyEventTapHost host(
        FunctionKeyEventTapStrategy::configuration(), [&triggers] { ++triggers; },
        std::make_shared<EvdevFunctionKeySource>(
            EvdevFunctionKeySource::Options{noDevices.path(), {{pipe.readEnd()}}}),
        std::make_shared<ThreadDelayScheduler>(), uptime);
    ASSERT_EQ(host.start(), FunctionKeyTapStart::started);

    // Input events carry monotonic times, as the source asks the kernel for.
    pipe.key(KEY_FN, 1, uptime());
    ASSERT_TRUE(testing::waitUntil([&] { return host.isFunctionPressed(); }, "Fn held"));
    ASSERT_TRUE(testing::waitUntil([&] { return triggers == 1; }, "the delayed trigger"));
    pipe.key(KEY_FN, 0, uptime());
    ASSERT_TRUE(testing::waitUntil([&] { return !host.isFunctionPressed(); }, "Fn released"));
    EXPECT_EQ(triggers, 1) << "the release of a press that fired does not fire again";

    // Fn with another key is a chord; the press after it shows that the
    // chord was read (events are read in order) and still fires itself.
    pipe.key(KEY_FN, 1, uptime());
    pipe.key(KEY_C, 1, uptime());
    pipe.key(KEY_FN, 0, uptime());
    pipe.key(KEY_FN, 1, uptime());
    ASSERT_TRUE(testing::waitUntil([&] { return triggers == 2; }, "the press after the chord"));
    pipe.key(KEY_FN, 0, uptime());
    ASSERT_TRUE(testing::waitUntil([&] { return !host.isFunctionPressed(); }, "Fn released"));
    testing::processEventsFor(std::chrono::milliseconds(150));
    EXPECT_EQ(triggers, 2) << "the chord never fired";
}

TEST(EvdevFunctionKeySource, OnlyAKeyboardThatReportsFnCountsAndWithoutOneTheShortcutSaysSo) {
    QTemporaryDir noDevices;
    const FunctionKeyEventTapConfiguration configuration;

    // A keyboard that cannot report Fn is no tap of the Fn key.
    EventPipe letters;
    EvdevFunctionKeySource lettersOnly({noDevices.path(), {{letters.readEnd(), false}}});
    EXPECT_EQ(lettersOnly.start(configuration, RecordedEvents().handler()),
              FunctionKeyTapStart::noFunctionKey);

    // Through the monitor, the user reads that and is sent to a key
    // combination instead of being told Fn is listened to.
    EventPipe moreLetters;
    auto probe = std::make_shared<FakePermissionProbe>();
    probe->setListenEventAccess(true);
    probe->setTrusted(true);
    auto runner = std::make_shared<ScriptedCommandRunner>();
    runner->enqueueSuccess("0\n");
    HotkeyMonitor::Dependencies dependencies;
    dependencies.globalHotKey = std::make_shared<FakeGlobalHotKey>();
    dependencies.makeFunctionKeySource = [&] {
        return std::make_shared<EvdevFunctionKeySource>(
            EvdevFunctionKeySource::Options{noDevices.path(), {{moreLetters.readEnd(), false}}});
    };
    dependencies.permissions = probe;
    dependencies.functionKeySystemSettings = std::make_shared<FunctionKeySystemSettings>(
        runner, std::make_shared<FakeSystemSettingsOpener>());
    dependencies.makeDelayScheduler = [] { return std::make_shared<ThreadDelayScheduler>(); };
    dependencies.uptime = systemMonotonicClock();
    dependencies.sleeper = systemSleeper();
    HotkeyMonitor monitor(std::move(dependencies));
    QList<ShortcutActivationState> states;
    monitor.setOnActivationStateChange(
        [&states](const ShortcutActivationState &state) { states.append(state); });
    monitor.start(ShortcutConfiguration::functionKey());
    ASSERT_EQ(states.size(), 1);
    EXPECT_EQ(states[0],
              ShortcutActivationState::failed(QStringLiteral(
                  "没有找到会上报 Fn 键的键盘，Fn 无法监听；请在设置里录制一个组合快捷键")));

    // Beside one that reports Fn, the other keyboard still counts: a
    // letter there goes down with Fn held, which makes it a chord.
    EventPipe laptop;
    EventPipe external;
    RecordedEvents recorded;
    EvdevFunctionKeySource both(
        {noDevices.path(), {{laptop.readEnd(), true}, {external.readEnd(), false}}});
    ASSERT_EQ(both.start(configuration, recorded.handler()), FunctionKeyTapStart::started);
    laptop.key(KEY_FN, 1, 5.0);
    ASSERT_TRUE(testing::waitUntil([&] { return recorded.events().size() == 1; }, "Fn down"));
    external.key(KEY_C, 1, 5.1);
    ASSERT_TRUE(testing::waitUntil([&] { return recorded.events().size() == 2; }, "C down"));
    EXPECT_EQ(recorded.events()[1],
              (KeyboardTapEvent{Type::keyDown, 8, ModifierFlag::function, 5100000000ull}));
}

// A keyboard unplugged while its Fn key is down never reports the
// release: the reader reports it for the keyboard, so Fn is not left held
// (and the next press, on another keyboard, is a press again).
TEST(EvdevFunctionKeySource, AKeyboardUnpluggedWithFnDownReleasesIt) {
    QTemporaryDir noDevices;
    EventPipe unplugged;
    EventPipe remaining;
    RecordedEvents recorded;
    EvdevFunctionKeySource source(
        {noDevices.path(), {{unplugged.readEnd(), true}, {remaining.readEnd(), true}}});
    ASSERT_EQ(source.start(FunctionKeyEventTapConfiguration{}, recorded.handler()),
              FunctionKeyTapStart::started);
    unplugged.key(KEY_LEFTSHIFT, 1, 7.0);
    unplugged.key(KEY_FN, 1, 7.1);
    ASSERT_TRUE(testing::waitUntil([&] { return recorded.events().size() == 2; }, "Fn down"));
    unplugged.unplug();
    ASSERT_TRUE(testing::waitUntil([&] { return recorded.events().size() == 3; }, "Fn up"));
    EXPECT_EQ(recorded.events()[2],
              (KeyboardTapEvent{Type::flagsChanged, VirtualKeyCode::function, 0, 0}))
        << "released, with the unplugged keyboard's Shift gone too, timed by the tap";

    remaining.key(KEY_FN, 1, 8.0);
    ASSERT_TRUE(testing::waitUntil([&] { return recorded.events().size() == 4; }, "Fn again"));
    EXPECT_EQ(recorded.events()[3], (KeyboardTapEvent{Type::flagsChanged, VirtualKeyCode::function,
                                                      ModifierFlag::function, 8000000000ull}));
}

} // namespace
} // namespace tovalit
