#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct pa_mainloop;
struct pa_mainloop_api;
struct pollfd;

namespace tovalit {

// A PulseAudio event loop on a thread of its own, used like libpulse's
// threaded loop (lock, wait, signal), that can also be told to leave the
// server's socket alone for a while.
//
// The sound server sends a recording's audio the moment its source hands
// it over, and a source that another client keeps at a few milliseconds of
// latency hands it over a couple of hundred times a second. Woken for
// each, the capture thread spent more time going to sleep and waking up
// than on the audio itself. Holding off until a whole buffer is due lets
// the packets pile up in the socket, to be read in one go.
class PulseEventLoop {
public:
    using Clock = std::chrono::steady_clock;

    // Starts the thread, named `threadName`. Throws std::system_error when
    // no thread, wake-up descriptor or loop can be had.
    explicit PulseEventLoop(const char *threadName);
    // Stops the loop and joins its thread. Nothing may hold the lock.
    ~PulseEventLoop();
    PulseEventLoop(const PulseEventLoop &) = delete;
    PulseEventLoop &operator=(const PulseEventLoop &) = delete;

    pa_mainloop_api *api() const;

    // Whatever touches a context or stream of this loop holds the lock,
    // except the loop's own callbacks, which run with it held already.
    // Never taken on the loop's thread.
    void lock();
    void unlock();
    // With the lock held, off the loop's thread: sleeps until a callback
    // signals.
    void wait();
    // From a callback: wakes whoever waits.
    void signal();
    bool isLoopThread() const;

    // From a callback: once nothing is waiting to be read, the loop sleeps
    // until `deadline` before it looks at its descriptors again. Its own
    // timers still fire on time, and lock() ends the pause at once, so a
    // stop or a query never waits for it.
    void holdOffUntil(Clock::time_point deadline);

private:
    static int poll(pollfd *descriptors, unsigned long count, int timeout, void *data);
    int pollHoldingOff(pollfd *descriptors, unsigned long count, int timeout);
    void run();

    pa_mainloop *m_mainloop = nullptr;
    // Written by lock() to end a pause early.
    int m_interrupt = -1;
    std::mutex m_mutex;
    std::condition_variable_any m_condition;
    // The loop's thread only.
    Clock::time_point m_holdOffUntil;
    std::thread m_thread;
};

} // namespace tovalit
