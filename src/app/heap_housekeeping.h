#pragma once

#include "models/recording_state.h"
#include "support/sleeper.h"
#include "support/spawn.h"

#include <QObject>

#include <functional>

namespace tovalit {

// Gives what a dictation used back to the system once the dictation is
// over. The allocator keeps freed memory for reuse: capture buffers,
// encoder state, network replies and panel images of a finished dictation
// would otherwise stay resident all day, scattered over the arenas of the
// threads that used them. GUI thread only.
class HeapHousekeeping : public QObject {
    Q_OBJECT

public:
    using Trim = std::function<void()>;

    // Seconds after a dictation ends: long enough for the completion panel
    // to hide and the history to be written.
    static constexpr double settleSeconds = 5;

    explicit HeapHousekeeping(Sleeper sleeper = systemSleeper(), Trim trim = trimHeap,
                              QObject *parent = nullptr);
    ~HeapHousekeeping() override;

    // A return to idle (or a failure) plans one trim after settleSeconds;
    // a new dictation starting in the meantime calls it off.
    void recordingStateChanged(const RecordingState &state);

    // Caps the allocator's arenas at a few for the whole process: without
    // a cap each thread that allocates can get an arena of its own, each
    // keeping its freed pages. Must run before any thread is started.
    static void limitArenas();
    // Returns every free page of every arena to the system.
    static void trimHeap();

private:
    Sleeper m_sleeper;
    Trim m_trim;
    TaskHandle m_pending;
};

} // namespace tovalit
