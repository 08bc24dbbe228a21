#include "app/floating_panel_geometry.h"
#include "tests/app/floating_panel_test_support.h"
#include "views/hud/hud_layout.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace FloatingPanelGeometry;
using testing::frameIs;

const QRectF desktop(0, 0, 1440, 900);

TEST(HUDLayoutTest, ToastBandWidensAndHeightensEveryPanelKind) {
    using namespace HUDLayout;
    EXPECT_EQ(panelSize(recordingPanelSize, true), QSizeF(420, 136));
    EXPECT_EQ(panelSize(recordingPanelSize, false), QSizeF(200, 48));
    EXPECT_EQ(panelSize(thinkingPanelSize, true), QSizeF(420, 144));
    EXPECT_EQ(panelSize(expandedMeetingPanelSize, true), QSizeF(524, 508));
    // Back from a panel to its content; the meeting panel never drops
    // below its minimum height.
    EXPECT_EQ(panelContentSize(QSizeF(524, 508), true), QSizeF(524, 420));
    EXPECT_EQ(panelContentSize(QSizeF(450, 400), true), QSizeF(450, 352));
    EXPECT_EQ(panelContentSize(QSizeF(450, 400), false), QSizeF(450, 400));

    // Bottom-centred, 48 above the bottom of the visible frame (a dock at
    // the bottom, a menu bar at the top).
    const QRectF visible(0, 25, 1440, 815);
    EXPECT_EQ(recordingPanelOrigin(visible, QSizeF(200, 48)), QPointF(620, 744));
    EXPECT_EQ(thinkingPanelOrigin(visible, QSizeF(420, 144)), QPointF(510, 648));
    EXPECT_EQ(expandedMeetingMaximumSize(desktop), QSizeF(860, 700));
    EXPECT_EQ(expandedMeetingMaximumSize(QRectF(0, 0, 600, 500)), QSizeF(568, 468));
}

TEST(FloatingPanelGeometryTest, ClampKeepsThePanelOnTheVisibleFrame) {
    const QRectF visible(100, 50, 800, 600);
    // Past the right and bottom edges: stops at them.
    EXPECT_TRUE(
        frameIs(clampedRecordingFrame(QRectF(850, 620, 200, 48), visible), 700, 602, 200, 48));
    // Past the left and top edges.
    EXPECT_TRUE(frameIs(clampedRecordingFrame(QRectF(-30, 0, 200, 48), visible), 100, 50, 200, 48));
    // Taller than the visible frame: cut to its height and kept wholly on
    // it (not shifted off it by the height it had before the cut).
    EXPECT_TRUE(
        frameIs(clampedRecordingFrame(QRectF(300, 20, 524, 700), visible), 300, 50, 524, 600));
    EXPECT_TRUE(
        frameIs(clampedRecordingFrame(QRectF(300, 400, 524, 700), visible), 300, 50, 524, 600));
    // Wider: likewise.
    EXPECT_TRUE(
        frameIs(clampedRecordingFrame(QRectF(0, 100, 1000, 48), visible), 100, 100, 800, 48));

    // A drag is a move of the frame it began with, by the drag's
    // translation (y downwards, like the desktop).
    const QRectF baseline(400, 500, 200, 48);
    EXPECT_TRUE(
        frameIs(draggedRecordingFrame(baseline, QSizeF(30, -40), visible), 430, 460, 200, 48));
    EXPECT_TRUE(
        frameIs(draggedRecordingFrame(baseline, QSizeF(5000, 5000), visible), 700, 602, 200, 48));
}

TEST(FloatingPanelGeometryTest, EachHandleScalesFromItsOwnEdgesAndKeepsTheOppositeOnePut) {
    const QSizeF base(524, 420);
    const QSizeF moved(100, 10);
    EXPECT_DOUBLE_EQ(resizeScale(HUDResizeHandle::top, moved, base), 1 - 10.0 / 420);
    EXPECT_DOUBLE_EQ(resizeScale(HUDResizeHandle::bottom, moved, base), 1 + 10.0 / 420);
    EXPECT_DOUBLE_EQ(resizeScale(HUDResizeHandle::leading, moved, base), 1 - 100.0 / 524);
    EXPECT_DOUBLE_EQ(resizeScale(HUDResizeHandle::trailing, moved, base), 1 + 100.0 / 524);
    // Corners take the larger of their two edges.
    EXPECT_DOUBLE_EQ(resizeScale(HUDResizeHandle::topLeading, moved, base), 1 - 10.0 / 420);
    EXPECT_DOUBLE_EQ(resizeScale(HUDResizeHandle::topTrailing, moved, base), 1 + 100.0 / 524);
    EXPECT_DOUBLE_EQ(resizeScale(HUDResizeHandle::bottomLeading, moved, base), 1 + 10.0 / 420);
    EXPECT_DOUBLE_EQ(resizeScale(HUDResizeHandle::bottomTrailing, moved, base), 1 + 100.0 / 524);

    // The fixed point is opposite the handle, and the new frame is built
    // around it, for every handle.
    const QRectF frame(300, 200, 524, 420);
    const QSizeF larger(624, 500);
    for (HUDResizeHandle handle : allHUDResizeHandles) {
        const QPointF anchor = anchorPoint(frame, handle);
        const QRectF resized(resizedOrigin(handle, anchor, larger), larger);
        EXPECT_EQ(anchorPoint(resized, handle), anchor) << int(handle);
    }
    EXPECT_EQ(anchorPoint(frame, HUDResizeHandle::bottomTrailing), QPointF(300, 200));
    EXPECT_EQ(anchorPoint(frame, HUDResizeHandle::topLeading), QPointF(824, 620));
    EXPECT_EQ(anchorPoint(frame, HUDResizeHandle::top), QPointF(562, 620));
    EXPECT_EQ(anchorPoint(frame, HUDResizeHandle::leading), QPointF(824, 410));
}

TEST(FloatingPanelGeometryTest, ResizingKeepsTheAspectRatioBetweenItsLimits) {
    const QRectF baseline(300, 200, 524, 420);
    // Down and right by (100, 10): the larger scale (1 + 100/524) wins and
    // the top-left corner stays.
    const QRectF grown = scaledRecordingFrame(baseline, HUDResizeHandle::bottomTrailing,
                                              QSizeF(100, 10), false, desktop);
    EXPECT_TRUE(frameIs(grown, 300, 200, 624, 624 * 420.0 / 524));

    // Far out: the width limit of 860 binds before the height limit of 700
    // (700 would allow 873 by the ratio).
    const QRectF largest = scaledRecordingFrame(baseline, HUDResizeHandle::bottomTrailing,
                                                QSizeF(5000, 5000), false, desktop);
    EXPECT_NEAR(largest.width(), 860, 0.01);
    EXPECT_NEAR(largest.height(), 689.31, 0.01);
    // Far in: never below 450 wide.
    const QRectF smallest = scaledRecordingFrame(baseline, HUDResizeHandle::topLeading,
                                                 QSizeF(400, 400), false, desktop);
    EXPECT_TRUE(frameIs(smallest, 824 - 450, 620 - 450 * 420.0 / 524, 450, 450 * 420.0 / 524));

    // With a toast the band is left out of the scaling and added back.
    const QRectF withToast(300, 200, 524, 508);
    const QRectF grownWithToast = scaledRecordingFrame(withToast, HUDResizeHandle::bottomTrailing,
                                                       QSizeF(100, 0), true, desktop);
    EXPECT_TRUE(frameIs(grownWithToast, 300, 200, 624, 624 * 420.0 / 524 + 88));

    // A resize toward a screen edge stays on the screen.
    const QRectF nearEdge(900, 400, 524, 420);
    const QRectF clamped = scaledRecordingFrame(nearEdge, HUDResizeHandle::bottomTrailing,
                                                QSizeF(200, 0), false, desktop);
    EXPECT_LE(clamped.right(), 1440.001);
    EXPECT_LE(clamped.bottom(), 900.001);
    EXPECT_NEAR(clamped.width(), 724, 0.01);

    // A screen too small for the minimum: the maximum wins, and the clamp
    // cuts the panel to the screen.
    const QRectF tiny(0, 0, 400, 300);
    const QRectF cut = scaledRecordingFrame(QRectF(0, 0, 524, 420), HUDResizeHandle::bottomTrailing,
                                            QSizeF(10, 10), false, tiny);
    EXPECT_TRUE(frameIs(cut, 0, 0, 400, 300));
}

} // namespace
} // namespace tovalit
