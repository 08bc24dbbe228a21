#include "platform/linux/evdev_function_key_source.h"
#include "platform/linux/evdev_keyboard.h"
#include "platform/virtual_key_code.h"
#include "services/shortcuts/delay_scheduler.h"
#include "services/shortcuts/function_key_event_tap_host.h"
#include "services/shortcuts/function_key_event_tap_strategy.h"
#include "support/clock.h"
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
    ~EventPipe() {
        if (m_write >= 0)
            close(m_write);
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
    EvdevFunctionKeySource source({noDevices.path(), {pipe.readEnd()}});
    ASSERT_TRUE(source.start(FunctionKeyEventTapConfiguration{}, recorded.handler()));

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
    EXPECT_FALSE(empty.start(FunctionKeyEventTapConfiguration{}, RecordedEvents().handler()));
    // Something named like a device that is not one (here a pipe).
    ASSERT_EQ(mkfifo(QFile::encodeName(folder.filePath("event3")).constData(), 0600), 0);
    EXPECT_EQ(EvdevKeyboard::devicePaths(folder.path()), QStringList{folder.filePath("event3")});
    EXPECT_FALSE(EvdevKeyboard::anyReadable(folder.path()));
    EXPECT_FALSE(empty.start(FunctionKeyEventTapConfiguration{}, RecordedEvents().handler()));
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
            EvdevFunctionKeySource::Options{noDevices.path(), {pipe.readEnd()}}),
        std::make_shared<ThreadDelayScheduler>(), uptime);
    ASSERT_TRUE(host.start());

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

} // namespace
} // namespace tovalit
