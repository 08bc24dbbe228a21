#include "platform/linux/worker_command_queue.h"

#include <atomic>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>

namespace tovalit {
namespace {

using namespace std::chrono_literals;

// A worker as the Wayland clipboard's: it sleeps in poll() until commands
// are due.
class Worker {
public:
    explicit Worker(WorkerCommandQueue &queue)
        : m_queue(queue)
        , m_thread([this] {
            pollfd wake{m_queue.wakeDescriptor(), POLLIN, 0};
            while (::poll(&wake, 1, -1) >= 0 && m_queue.runDue()) {
            }
        }) {}
    ~Worker() {
        m_queue.stop();
        m_thread.join();
    }

private:
    WorkerCommandQueue &m_queue;
    std::thread m_thread;
};

// A command that runs until the test lets it end.
struct HeldCommand {
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();

    std::function<bool()> work() {
        return [this] {
            started.set_value();
            released.wait();
            return true;
        };
    }
};

// The worker is busy (serving a paste that does not read, say) when a
// caller gives up on its command, or the command itself runs longer than
// its caller waits: what the caller was told did not happen does not
// happen later.
TEST(WorkerCommandQueue, ACommandItsCallerGaveUpOnIsTakenBack) {
    WorkerCommandQueue queue;
    ASSERT_TRUE(queue.isValid());
    Worker worker(queue);
    std::atomic<int> offered = 0;
    const auto withdraw = [&] { --offered; };

    HeldCommand busy;
    WorkerCommandQueue::Pending first = queue.post(busy.work());
    busy.started.get_future().wait();
    EXPECT_FALSE(queue.post([&] { return ++offered > 0; }, withdraw).answerWithin(0ms));
    busy.release.set_value();
    EXPECT_TRUE(first.answerWithin(10s));

    HeldCommand slow;
    WorkerCommandQueue::Pending late = queue.post(
        [&] {
            ++offered;
            return slow.work()();
        },
        withdraw);
    slow.started.get_future().wait();
    EXPECT_FALSE(late.answerWithin(0ms));
    slow.release.set_value();

    EXPECT_TRUE(queue.post([] { return true; }).answerWithin(10s));
    EXPECT_EQ(offered, 0) << "the queued one never ran, the running one was taken back";
}

} // namespace
} // namespace tovalit
