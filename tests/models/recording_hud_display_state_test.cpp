#include "models/recording_hud_display_state.h"
#include "tests/support/meeting_samples.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(RecordingHUDDisplayStateTest, EqualWhenTheWholeMeetingContentIsEqual) {
    const MeetingHUDContent content{QStringLiteral("01:00"), testing::twoStageMeeting(),
                                    testing::sampleSegments()};
    const auto meeting = RecordingHUDDisplayState::expandedMeeting(content);
    EXPECT_TRUE(RecordingHUDDisplayState().isCompact());
    EXPECT_EQ(RecordingHUDDisplayState(), RecordingHUDDisplayState::compact());
    EXPECT_EQ(RecordingHUDDisplayState::compact().meetingContent(), nullptr);
    EXPECT_FALSE(meeting.isCompact());
    EXPECT_NE(meeting, RecordingHUDDisplayState::compact());
    EXPECT_EQ(meeting, RecordingHUDDisplayState::expandedMeeting(content));

    MeetingHUDContent changed = content;
    changed.rawSegments.last().isLive = false;
    EXPECT_NE(meeting, RecordingHUDDisplayState::expandedMeeting(changed));
    changed = content;
    changed.blocks.last() = testing::sampleBlock(2, QStringLiteral("别的阶段"), {}, {});
    EXPECT_NE(meeting, RecordingHUDDisplayState::expandedMeeting(changed));
    changed = content;
    changed.elapsedLabel = QStringLiteral("01:01");
    EXPECT_NE(meeting, RecordingHUDDisplayState::expandedMeeting(changed));
}

} // namespace
} // namespace tovalit
