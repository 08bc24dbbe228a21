#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <pulse/mainloop-api.h>
#include <thread>
#include <vector>

struct pollfd;

namespace tovalit {

// A PulseAudio event loop on a thread of its own, used like libpulse's
// threaded loop (lock, wait, signal), that can also be told to leave the
// server's socket alone for a while.
//
// The sound server sends a recording's audio the moment its source hands
// it over, and a source that another client keeps at a few milliseconds of
// latency hands it over hundreds of times a second, in packets of a few
// samples. Woken for each, the capture thread spent more time going to
// sleep and waking up than on the audio itself. Holding off until a whole
// buffer is due lets the packets pile up in the socket, to be read in one
// go.
//
// The loop is our own implementation of libpulse's main-loop interface
// rather than libpulse's stock loop: the stock loop writes to and reads
// from a wake-up pipe whenever a watch changes, which the client library
// does twice for each read from the socket, so that each packet cost a
// dozen system calls. Here a change made on the loop's own thread is only
// noted, and the loop is woken only for changes made from elsewhere.
class PulseEventLoop {
public:
    using Clock = std::chrono::steady_clock;

    // Starts the thread, named `threadName`. Throws std::system_error when
    // no thread or wake-up descriptor can be had.
    explicit PulseEventLoop(const char *threadName);
    // Stops the loop and joins its thread. Nothing may hold the lock.
    ~PulseEventLoop();
    PulseEventLoop(const PulseEventLoop &) = delete;
    PulseEventLoop &operator=(const PulseEventLoop &) = delete;

    pa_mainloop_api *api();

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

    struct IoEvent;
    struct TimeEvent;
    struct DeferEvent;

private:
    void run();
    // One round: deferred work, or a wait for descriptors and timers and
    // what they call for. Called with the lock held.
    void iterate();
    // Descriptors of the enabled watches and the wake-up descriptor, and
    // the watches they belong to, index for index.
    void collectDescriptors();
    // Milliseconds until the first enabled timer is due; -1 without one.
    int millisecondsToNextTimer() const;
    // Polls the descriptors with the lock released, pausing first while
    // holding off and nothing is ready.
    int pollDescriptors(int timeout);
    void dispatchTimers();
    void dispatchDescriptors();
    void dispatchDeferred();
    // Frees the events that were let go of, calling their destroy
    // callbacks; `all` frees every event, as the loop ends.
    void collectGarbage(bool all);
    // From a change to the events: a loop asleep in poll() looks again.
    void wakeUp();
    void drainWakeUps();
    // From a free of an event, by its `dead` mark.
    void letGo(bool &dead);

    static PulseEventLoop &loopOf(pa_mainloop_api *api);
    static pa_io_event *ioNew(pa_mainloop_api *api, int fd, pa_io_event_flags_t events,
                              pa_io_event_cb_t callback, void *data);
    static void ioEnable(pa_io_event *event, pa_io_event_flags_t events);
    static void ioFree(pa_io_event *event);
    static void ioSetDestroy(pa_io_event *event, pa_io_event_destroy_cb_t callback);
    static pa_time_event *timeNew(pa_mainloop_api *api, const struct timeval *due,
                                  pa_time_event_cb_t callback, void *data);
    static void timeRestart(pa_time_event *event, const struct timeval *due);
    static void timeFree(pa_time_event *event);
    static void timeSetDestroy(pa_time_event *event, pa_time_event_destroy_cb_t callback);
    static pa_defer_event *deferNew(pa_mainloop_api *api, pa_defer_event_cb_t callback, void *data);
    static void deferEnable(pa_defer_event *event, int enabled);
    static void deferFree(pa_defer_event *event);
    static void deferSetDestroy(pa_defer_event *event, pa_defer_event_destroy_cb_t callback);
    static void quit(pa_mainloop_api *api, int result);

    pa_mainloop_api m_api{};
    // Written by lock() to end a pause early, and by changes to the events
    // made while the loop sleeps.
    int m_wakeUp = -1;
    std::mutex m_mutex;
    std::condition_variable_any m_condition;

    // Under the lock.
    std::vector<std::unique_ptr<IoEvent>> m_ioEvents;
    std::vector<std::unique_ptr<TimeEvent>> m_timeEvents;
    std::vector<std::unique_ptr<DeferEvent>> m_deferEvents;
    bool m_garbage = false;
    bool m_quit = false;
    // The loop is in poll() (the lock released): a change must wake it.
    bool m_polling = false;

    // The loop's thread only.
    std::vector<pollfd> m_descriptors;
    std::vector<IoEvent *> m_polled;
    Clock::time_point m_holdOffUntil;
    std::thread m_thread;
};

} // namespace tovalit
