#include "app/heap_housekeeping.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::ManualSleeper;
using testing::pumpEvents;

class HeapHousekeepingTest : public ::testing::Test {
protected:
    ManualSleeper sleeps;
    int trims = 0;
    HeapHousekeeping housekeeping{sleeps.sleeper(), [this] { ++trims; }};
};

TEST_F(HeapHousekeepingTest, TrimsOnceADictationHasSettledAndNeverDuringOne) {
    for (const RecordingState &state :
         {RecordingState::requestingPermission(), RecordingState::recording(),
          RecordingState::thinking(), RecordingState::inserting()})
        housekeeping.recordingStateChanged(state);
    pumpEvents();
    EXPECT_EQ(sleeps.count(), 0u) << "nothing planned while a dictation runs";

    housekeeping.recordingStateChanged(RecordingState::idle());
    pumpEvents();
    ASSERT_EQ(sleeps.count(), 1u);
    EXPECT_EQ(sleeps.last().seconds, HeapHousekeeping::settleSeconds);
    EXPECT_EQ(trims, 0);
    sleeps.wakeLast();
    pumpEvents();
    EXPECT_EQ(trims, 1);

    // A failed dictation is over too.
    housekeeping.recordingStateChanged(RecordingState::failed(QStringLiteral("无法录音")));
    pumpEvents();
    sleeps.wakeLast();
    pumpEvents();
    EXPECT_EQ(trims, 2);
}

TEST_F(HeapHousekeepingTest, ANewDictationCallsOffThePlannedTrim) {
    housekeeping.recordingStateChanged(RecordingState::idle());
    pumpEvents();
    ASSERT_EQ(sleeps.count(), 1u);
    housekeeping.recordingStateChanged(RecordingState::requestingPermission());
    pumpEvents();
    EXPECT_TRUE(sleeps.at(0).wasCancelled());
    EXPECT_EQ(trims, 0);

    // Idle announced twice plans one trim, not two.
    housekeeping.recordingStateChanged(RecordingState::idle());
    housekeeping.recordingStateChanged(RecordingState::idle());
    pumpEvents();
    for (std::size_t index = 1; index < sleeps.count(); ++index)
        sleeps.wake(index);
    pumpEvents();
    EXPECT_EQ(trims, 1);
}

} // namespace
} // namespace tovalit
