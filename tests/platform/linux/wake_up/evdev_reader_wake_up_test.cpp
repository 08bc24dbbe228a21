// The keyboard reader is stopped through a wake-up descriptor of its own.
// Here the process cannot make one (as when it has used up its
// descriptors): this executable stands in for the C library's eventfd,
// which then fails on the test's thread only.

#include "platform/linux/evdev_function_key_source.h"

#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

thread_local bool eventfdFails = false;

} // namespace

extern "C" int eventfd(unsigned int initval, int flags) {
    using Make = int (*)(unsigned int, int);
    static std::atomic<Make> real = nullptr;
    Make make = real.load();
    if (!make) {
        make = reinterpret_cast<Make>(dlsym(RTLD_NEXT, "eventfd"));
        real = make;
    }
    if (eventfdFails) {
        errno = EMFILE;
        return -1;
    }
    return make(initval, flags);
}

namespace tovalit {
namespace {

// Without a way to wake the reader it could never be stopped, and stopping
// it (at the next restart, or at exit) would wait for good: there is no
// tap then, and the keyboards are left for the next start.
TEST(EvdevReaderWakeUp, WithoutADescriptorToWakeItTheReaderDoesNotStart) {
    QTemporaryDir noDevices;
    int descriptors[2];
    ASSERT_EQ(pipe2(descriptors, O_CLOEXEC | O_NONBLOCK), 0);
    const int writeEnd = descriptors[1];
    auto source = std::make_unique<EvdevFunctionKeySource>(
        EvdevFunctionKeySource::Options{noDevices.path(), {{descriptors[0]}}});
    const FunctionKeySource::Handler handler = [](const KeyboardTapEvent &) {
        return FunctionKeyEventDisposition::passThrough;
    };

    eventfdFails = true;
    const FunctionKeyTapStart started = source->start(FunctionKeyEventTapConfiguration{}, handler);
    eventfdFails = false;
    if (started == FunctionKeyTapStart::started) {
        // Stopping it would wait for good: it is left running.
        source.release();
        close(writeEnd);
        FAIL() << "a reader started that nothing can wake";
    }
    EXPECT_EQ(started, FunctionKeyTapStart::unavailable);

    ASSERT_EQ(source->start(FunctionKeyEventTapConfiguration{}, handler),
              FunctionKeyTapStart::started)
        << "the event stream is still there for the next start";
    input_event event{};
    event.type = EV_KEY;
    event.code = KEY_FN;
    event.value = 1;
    ASSERT_EQ(write(writeEnd, &event, sizeof event), ssize_t(sizeof event));
    // Stopping returns: the reader was woken, whatever it had read by then.
    source->stop();
    close(writeEnd);
}

} // namespace
} // namespace tovalit
