#include "app/floating_panel_coordinator.h"
#include "tests/app/floating_panel_test_support.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/meeting_samples.h"
#include "tests/support/run_task.h"
#include "views/hud/expanded_meeting_hud_view.h"
#include "views/hud/floating_hud_container_view.h"
#include "views/hud/floating_hud_model.h"
#include "views/hud/floating_hud_panel.h"
#include "views/hud/floating_hud_toast_view.h"
#include "views/hud/hud_round_button.h"
#include "views/hud/meeting_resize_handle_overlay.h"
#include "views/hud/recording_hud_capsule.h"
#include "views/hud/recording_hud_view.h"
#include "views/hud/thinking_hud_view.h"
#include "views/hud/waveform_bars_view.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::ArrangedScreens;
using testing::frameIs;
using testing::ManualSleeper;
using testing::pumpEvents;
using testing::waitUntil;
using Kind = FloatingPanelCoordinator::PresentationKind;

const QString countdown = QStringLiteral("录音已超过 1 分钟，将在 9 秒后自动进入会议纪要模式");

// A press, moves and a release on `widget`, with desktop positions given
// outright: the panel moves under the pointer while it is dragged.
void dragOn(QWidget *widget, QPointF from, const QList<QPointF> &to) {
    const QPointF local = widget->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, local, from, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    for (const QPointF &point : to) {
        QMouseEvent move(QEvent::MouseMove, local, point, Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, local, to.isEmpty() ? from : to.last(),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

class FloatingPanelCoordinatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        coordinator = std::make_unique<FloatingPanelCoordinator>(screens, sleeps.sleeper());
    }
    void TearDown() override { coordinator.reset(); }

    FloatingHUDPanel *panel() const { return coordinator->panel(); }
    FloatingHUDModel *model() const { return coordinator->hudModel(); }
    FloatingHUDContainerView *container() const { return panel()->containerView(); }

    void showCompact(
        std::optional<QString> toast = std::nullopt,
        QList<double> levels = {0.14, 0.14, 0.14, 0.14, 0.14},
        FloatingPanelCoordinating::Action onCancel = [] {}) {
        coordinator->showRecording(
            std::move(levels), RecordingHUDDisplayState::compact(), toast,
            toast ? std::optional<QString>(QStringLiteral("取消")) : std::nullopt, [] {}, [] {},
            std::move(onCancel));
    }
    void showMeeting(std::optional<QString> toast = std::nullopt,
                     MeetingHUDContent content = {QStringLiteral("01:05"), {}, {}}) {
        coordinator->showRecording(
            {0.3}, RecordingHUDDisplayState::expandedMeeting(content), toast, std::nullopt, [] {},
            [] {}, [] {});
    }
    // Waits for the hide the coordinator just planned and returns its delay.
    double plannedHide() {
        const std::size_t before = sleeps.count();
        waitUntil([&] { return sleeps.count() > before; }, "a planned hide");
        return sleeps.last().seconds;
    }
    // The panel goes only when its planned hide is woken.
    void expectHiddenAfterWaking() {
        pumpEvents(20);
        EXPECT_TRUE(panel()->isOrderedIn()) << "hid before its time";
        sleeps.wakeLast();
        waitUntil([&] { return !panel()->isOrderedIn(); }, "the panel to hide");
        EXPECT_FALSE(coordinator->currentKind().has_value());
    }

    std::shared_ptr<ArrangedScreens> screens = std::make_shared<ArrangedScreens>();
    ManualSleeper sleeps;
    std::unique_ptr<FloatingPanelCoordinator> coordinator;
};

TEST_F(FloatingPanelCoordinatorTest, EachPanelKindHasItsSizeAtTheBottomCentre) {
    // No screen at all: a 1440 x 900 desktop.
    EXPECT_EQ(coordinator->panel(), nullptr) << "no window before the first show";
    showCompact();
    ASSERT_NE(panel(), nullptr);
    EXPECT_TRUE(frameIs(panel()->frame(), 620, 804, 200, 48));
    EXPECT_EQ(coordinator->currentKind(), Kind::recording);
    EXPECT_TRUE(panel()->isOrderedIn());
    ASSERT_NE(container()->recordingView(), nullptr);
    EXPECT_TRUE(container()->recordingView()->isCompact());
    EXPECT_TRUE(container()->toastView()->isHidden());

    coordinator->hide();
    showCompact(countdown);
    EXPECT_TRUE(frameIs(panel()->frame(), 510, 716, 420, 136));
    EXPECT_FALSE(container()->toastView()->isHidden());
    EXPECT_EQ(container()->toastView()->message(), countdown);

    coordinator->showThinking(QStringLiteral("整理中"), QStringLiteral("不显示"));
    EXPECT_TRUE(frameIs(panel()->frame(), 620, 796, 200, 56));
    EXPECT_EQ(coordinator->currentKind(), Kind::status);
    ASSERT_NE(container()->thinkingView(), nullptr);
    EXPECT_EQ(container()->thinkingView()->text(), QStringLiteral("整理中"));
    EXPECT_TRUE(container()->thinkingView()->showsProgress());
    EXPECT_TRUE(container()->toastView()->isHidden()) << "a status panel drops the toast";

    coordinator->showCompletion(QStringLiteral("  已插入  "));
    EXPECT_TRUE(frameIs(panel()->frame(), 510, 708, 420, 144));
    EXPECT_EQ(container()->thinkingView()->text(), QStringLiteral("已完成"));
    EXPECT_FALSE(container()->thinkingView()->showsProgress());
    EXPECT_EQ(container()->toastView()->message(), QStringLiteral("已插入"));

    coordinator->showToast(QStringLiteral("已撤销，本次不会加入个人词库。"), std::nullopt, 1.6, {});
    EXPECT_TRUE(frameIs(panel()->frame(), 510, 772, 420, 80));
    EXPECT_EQ(coordinator->currentKind(), Kind::toastOnly);
    EXPECT_EQ(container()->contentView(), nullptr);
    EXPECT_FALSE(container()->toastView()->isHidden());

    coordinator->hide();
    showMeeting();
    EXPECT_TRUE(frameIs(panel()->frame(), 458, 432, 524, 420));
    ASSERT_NE(container()->recordingView(), nullptr);
    EXPECT_NE(container()->recordingView()->meetingView(), nullptr);
}

TEST_F(FloatingPanelCoordinatorTest, StatusTitlesAndTheModelAfterHide) {
    coordinator->showThinking(QStringLiteral("   \n"), {});
    EXPECT_EQ(model()->mode(), FloatingHUDModel::Mode::status(QStringLiteral("思考中"), true));
    coordinator->showThinking(QStringLiteral("  整理中 "), {});
    EXPECT_EQ(model()->mode().text(), QStringLiteral("  整理中 ")) << "shown with its spaces";

    // Hiding leaves the model alone; the next show overwrites it.
    coordinator->hide();
    EXPECT_FALSE(panel()->isOrderedIn());
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_EQ(model()->mode().text(), QStringLiteral("  整理中 "));
}

TEST_F(FloatingPanelCoordinatorTest, LevelUpdatesCostNoWindowCallAndNoNewMode) {
    QList<double> last;
    const MeetingHUDContent meeting{QStringLiteral("02:00"), testing::twoStageMeeting(),
                                    testing::sampleSegments()};
    coordinator->showRecording(
        {0.1}, RecordingHUDDisplayState::expandedMeeting(meeting), std::nullopt, std::nullopt, {},
        [] {}, [] {});
    QSignalSpy placed(panel(), &FloatingHUDPanel::placed);
    QSignalSpy modes(model(), &FloatingHUDModel::modeChanged);
    QSignalSpy levels(model(), &FloatingHUDModel::levelsChanged);
    QSignalSpy toasts(model(), &FloatingHUDModel::toastChanged);
    ExpandedMeetingHUDView *view = container()->recordingView()->meetingView();

    for (int step = 1; step <= 5; ++step) {
        last = {step / 10.0, 0.5, 0.9};
        // An equal meeting content, built anew each time as the controller
        // does.
        coordinator->showRecording(
            last, RecordingHUDDisplayState::expandedMeeting(meeting), std::nullopt, std::nullopt,
            {}, [] {}, [] {});
    }
    EXPECT_EQ(placed.count(), 0);
    EXPECT_EQ(modes.count(), 0);
    EXPECT_EQ(levels.count(), 5);
    EXPECT_EQ(toasts.count(), 5);
    EXPECT_EQ(model()->levels(), last);
    EXPECT_EQ(container()->recordingView()->meetingView(), view) << "the meeting view is kept";
    EXPECT_EQ(view->meter()->targetHeights()[0], WaveformBarsView::barHeight(0.9, 8, 22))
        << "three levels are shown behind two copies of the last";
    EXPECT_EQ(view->meter()->targetHeights()[3], WaveformBarsView::barHeight(0.5, 8, 22));

    // A changed meeting publishes the mode and updates the view in place.
    MeetingHUDContent later = meeting;
    later.elapsedLabel = QStringLiteral("02:01");
    coordinator->showRecording(
        last, RecordingHUDDisplayState::expandedMeeting(later), std::nullopt, std::nullopt, {},
        [] {}, [] {});
    EXPECT_EQ(modes.count(), 1);
    EXPECT_EQ(placed.count(), 0);
    EXPECT_EQ(container()->recordingView()->meetingView(), view);
    EXPECT_EQ(view->content().elapsedLabel, QStringLiteral("02:01"));
}

TEST_F(FloatingPanelCoordinatorTest, TheCountdownToastComesAndGoesAboutTheCentre) {
    showCompact();
    showCompact(countdown);
    // Visible as a recording panel: it keeps its centre (720, 828).
    EXPECT_TRUE(frameIs(panel()->frame(), 510, 760, 420, 136));
    showCompact(std::nullopt);
    EXPECT_TRUE(frameIs(panel()->frame(), 620, 804, 200, 48));
    EXPECT_TRUE(container()->toastView()->isHidden());

    // A meeting panel placed low on the screen grows with a toast and is
    // kept on the screen.
    coordinator->hide();
    showMeeting();
    showMeeting(countdown);
    EXPECT_TRUE(frameIs(panel()->frame(), 458, 388, 524, 508));
}

TEST_F(FloatingPanelCoordinatorTest, TheShapeLetsThePointerThroughTheEmptyParts) {
    showCompact(countdown);
    const QRegion shape = panel()->mask();
    ASSERT_FALSE(shape.isEmpty());
    // 420 x 136: the capsule at the bottom centre, the toast right above it.
    EXPECT_TRUE(shape.contains(QPoint(210, 112))) << "capsule";
    EXPECT_TRUE(shape.contains(QPoint(210, 70))) << "toast";
    EXPECT_FALSE(shape.contains(QPoint(40, 120))) << "beside the capsule";
    EXPECT_FALSE(shape.contains(QPoint(210, 4))) << "top of the toast band";
    // Alone, the capsule fills its panel: its rounded corners let the
    // pointer through.
    showCompact();
    EXPECT_FALSE(panel()->mask().contains(QPoint(1, 1))) << "the capsule's rounded corner";

    // A blank toast draws nothing: the panel counts as shown and hides in
    // time, but no window is mapped that could catch the pointer.
    coordinator->showToast(QStringLiteral(" \n "), std::nullopt, std::nullopt, {});
    EXPECT_TRUE(frameIs(panel()->frame(), 510, 772, 420, 80));
    EXPECT_TRUE(panel()->isOrderedIn());
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_DOUBLE_EQ(plannedHide(), 3.0);
    expectHiddenAfterWaking();
}

TEST_F(FloatingPanelCoordinatorTest, ToastsAndCompletionsHideOnTheirTimers) {
    coordinator->showCompletion(std::nullopt);
    EXPECT_DOUBLE_EQ(plannedHide(), 1.0);
    expectHiddenAfterWaking();

    coordinator->showCompletion(QStringLiteral("   "));
    EXPECT_TRUE(container()->toastView()->isHidden());
    EXPECT_DOUBLE_EQ(plannedHide(), 1.0) << "a blank toast is no toast";
    expectHiddenAfterWaking();

    coordinator->showCompletion(QStringLiteral("已插入"));
    EXPECT_DOUBLE_EQ(plannedHide(), 3.0);
    expectHiddenAfterWaking();

    coordinator->showToast(QStringLiteral("提示"), std::nullopt, std::nullopt, {});
    EXPECT_DOUBLE_EQ(plannedHide(), 3.0);
    expectHiddenAfterWaking();

    // An action title, even an empty one, means 5 s.
    coordinator->showToast(QStringLiteral("提示"), QString(), std::nullopt, [] {});
    EXPECT_DOUBLE_EQ(plannedHide(), 5.0);
    expectHiddenAfterWaking();

    coordinator->showToast(QStringLiteral("提示"), QStringLiteral("撤销"), 4.0, [] {});
    EXPECT_DOUBLE_EQ(plannedHide(), 4.0);
    expectHiddenAfterWaking();

    // Zero or less: as soon as the event loop is free. Not a number: the
    // usual delay, so the toast still goes by itself.
    coordinator->showToast(QStringLiteral("提示"), std::nullopt, -2.0, {});
    EXPECT_DOUBLE_EQ(plannedHide(), 0.0);
    expectHiddenAfterWaking();
    coordinator->showToast(QStringLiteral("提示"), std::nullopt, std::nan(""), {});
    EXPECT_DOUBLE_EQ(plannedHide(), 3.0);
    expectHiddenAfterWaking();
}

TEST_F(FloatingPanelCoordinatorTest, ALaterCallReplacesThePendingHide) {
    coordinator->showToast(QStringLiteral("第一条"), std::nullopt, 3.0, {});
    plannedHide();
    const std::size_t first = sleeps.count() - 1;
    coordinator->showToast(QStringLiteral("第二条"), std::nullopt, 8.0, {});
    EXPECT_DOUBLE_EQ(plannedHide(), 8.0);
    EXPECT_TRUE(sleeps.at(first).wasCancelled());
    // The first toast's time passing changes nothing.
    sleeps.wake(first);
    pumpEvents(20);
    EXPECT_TRUE(panel()->isOrderedIn());
    EXPECT_EQ(container()->toastView()->message(), QStringLiteral("第二条"));
    expectHiddenAfterWaking();

    // A thinking panel stays until the next call: it cancels a pending
    // hide and plans none.
    coordinator->showCompletion(std::nullopt);
    plannedHide();
    const std::size_t completion = sleeps.count() - 1;
    coordinator->showThinking(QStringLiteral("准备插入"), {});
    EXPECT_TRUE(sleeps.at(completion).wasCancelled());
    sleeps.wake(completion);
    pumpEvents(20);
    EXPECT_EQ(sleeps.count(), completion + 1);
    EXPECT_TRUE(panel()->isOrderedIn());

    // So does a recording panel.
    coordinator->showToast(QStringLiteral("提示"), std::nullopt, 3.0, {});
    plannedHide();
    showCompact();
    EXPECT_TRUE(sleeps.last().wasCancelled());
}

TEST_F(FloatingPanelCoordinatorTest, PressingTheToastActionRunsItThenHides) {
    int pressed = 0;
    coordinator->showToast(
        QStringLiteral("插入失败，文本已复制到剪贴板，请手动粘贴（Ctrl+V；终端中为 Ctrl+Shift+V）"),
        QStringLiteral("复制"), 5.0, [&] { ++pressed; });
    plannedHide();
    FloatingHUDToastView *toast = container()->toastView();
    ASSERT_FALSE(toast->actionButton()->isHidden());
    EXPECT_EQ(toast->actionButton()->text(), QStringLiteral("复制"));
    toast->actionButton()->click();
    EXPECT_EQ(pressed, 1);
    EXPECT_FALSE(panel()->isOrderedIn()) << "hidden at once";
    EXPECT_TRUE(sleeps.last().wasCancelled());

    // An action that puts up its own confirmation keeps it on screen.
    coordinator->showToast(QStringLiteral("已创建指令“周报”，5 秒后会加入指令库。"),
                           QStringLiteral("撤销"), 5.0, [this] {
                               coordinator->showToast(
                                   QStringLiteral("已撤销，本次不会加入指令库。"), std::nullopt,
                                   1.6, {});
                           });
    plannedHide();
    container()->toastView()->actionButton()->click();
    EXPECT_TRUE(panel()->isOrderedIn());
    EXPECT_EQ(container()->toastView()->message(), QStringLiteral("已撤销，本次不会加入指令库。"));
    EXPECT_TRUE(container()->toastView()->actionButton()->isHidden());
    EXPECT_DOUBLE_EQ(plannedHide(), 1.6);

    // A title alone shows a button (the panel's action always exists) that
    // just hides.
    coordinator->showToast(QStringLiteral("提示"), QStringLiteral("好的"), 5.0, {});
    ASSERT_FALSE(container()->toastView()->actionButton()->isHidden());
    container()->toastView()->actionButton()->click();
    EXPECT_FALSE(panel()->isOrderedIn());
}

TEST_F(FloatingPanelCoordinatorTest, UpdateToastReplacesTheTextInPlaceOnlyWhileAToastShows) {
    int firstAction = 0;
    int secondAction = 0;
    coordinator->showToast(QStringLiteral("已学习 3 个词条，5 秒内可撤销"), QStringLiteral("撤销"),
                           5.0, [&] { ++firstAction; });
    plannedHide();
    const std::size_t sleepsBefore = sleeps.count();
    QSignalSpy placed(panel(), &FloatingHUDPanel::placed);

    coordinator->updateToast(QStringLiteral("已学习 3 个词条，4 秒内可撤销"),
                             QStringLiteral("撤销"), 4.0, [&] { ++secondAction; });
    pumpEvents(20);
    EXPECT_EQ(placed.count(), 0) << "no window call";
    EXPECT_EQ(sleeps.count(), sleepsBefore) << "the first hide still stands";
    EXPECT_FALSE(sleeps.last().wasCancelled());
    EXPECT_EQ(container()->toastView()->message(), QStringLiteral("已学习 3 个词条，4 秒内可撤销"));
    container()->toastView()->actionButton()->click();
    EXPECT_EQ(firstAction, 0);
    EXPECT_EQ(secondAction, 1);
    EXPECT_FALSE(panel()->isOrderedIn());

    // Nothing showing: it is a new toast with its own delay.
    coordinator->updateToast(QStringLiteral("已学习 3 个词条，3 秒内可撤销"),
                             QStringLiteral("撤销"), 3.0, [] {});
    EXPECT_TRUE(panel()->isOrderedIn());
    EXPECT_DOUBLE_EQ(plannedHide(), 3.0);

    // Over a recording panel: the toast replaces it.
    showCompact();
    coordinator->updateToast(QStringLiteral("个人词库保存失败：磁盘已满"), std::nullopt,
                             std::nullopt, {});
    EXPECT_EQ(coordinator->currentKind(), Kind::toastOnly);
    EXPECT_EQ(container()->contentView(), nullptr);
    EXPECT_DOUBLE_EQ(plannedHide(), 3.0);
}

TEST_F(FloatingPanelCoordinatorTest, OnlyAToastWithAnActionMayTakeKeyFocus) {
    // The panel made by this call keeps its initial refusal.
    coordinator->showToast(QStringLiteral("提示"), QStringLiteral("撤销"), 5.0, [] {});
    EXPECT_FALSE(panel()->allowsKeyFocus());
    coordinator->showToast(QStringLiteral("提示"), QStringLiteral("撤销"), 5.0, [] {});
    EXPECT_TRUE(panel()->allowsKeyFocus());
    EXPECT_TRUE(panel()->canBecomeKey());
    EXPECT_FALSE(panel()->canBecomeMain());
    coordinator->showToast(QStringLiteral("提示"), std::nullopt, 5.0, {});
    EXPECT_FALSE(panel()->allowsKeyFocus());
    coordinator->showToast(QStringLiteral("提示"), QString(), 5.0, {});
    EXPECT_TRUE(panel()->allowsKeyFocus()) << "an empty title is still a title";
    showCompact();
    EXPECT_FALSE(panel()->allowsKeyFocus());
    coordinator->showToast(QStringLiteral("提示"), QStringLiteral("撤销"), 5.0, [] {});
    coordinator->showThinking(QStringLiteral("思考中"), {});
    EXPECT_FALSE(panel()->allowsKeyFocus());
    // Whatever the flag, the window itself never takes the focus.
    EXPECT_TRUE(panel()->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_FALSE(panel()->isActiveWindow());
}

TEST_F(FloatingPanelCoordinatorTest, TheCallbacksInForceAtTheEventAreCalled) {
    int first = 0;
    int second = 0;
    showCompact(std::nullopt, {0.2}, [&] { ++first; });
    RecordingHUDCapsule *capsule = container()->recordingView()->capsule();
    showCompact(std::nullopt, {0.3}, [&] { ++second; });
    ASSERT_EQ(container()->recordingView()->capsule(), capsule);
    QTest::mouseClick(capsule->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);

    // A status panel clears them: the old buttons call nothing.
    int finished = 0;
    coordinator->showRecording(
        {}, {}, std::nullopt, std::nullopt, {}, [&] { ++finished; }, [] {});
    FloatingHUDCallbacks callbacks = model()->callbacks();
    coordinator->showThinking(QStringLiteral("思考中"), {});
    EXPECT_FALSE(model()->callbacks().onFinish);
    EXPECT_FALSE(model()->callbacks().onDragChanged);
    callbacks.onFinish();
    EXPECT_EQ(finished, 1) << "the caller's own action still works when called directly";
}

TEST_F(FloatingPanelCoordinatorTest, DraggingTheMeterMovesThePanelWithinTheScreen) {
    screens->list = {{QRectF(0, 0, 1280, 800), QRectF(0, 30, 1280, 770)}};
    screens->mouse = QPointF(600, 400);
    showCompact();
    ASSERT_TRUE(frameIs(panel()->frame(), 540, 704, 200, 48));
    WaveformBarsView *meter = container()->recordingView()->capsule()->meter();
    QSignalSpy placed(panel(), &FloatingHUDPanel::placed);

    // Under the 2-pixel threshold: nothing moves.
    dragOn(meter, QPointF(640, 728), {QPointF(641, 729)});
    EXPECT_EQ(placed.count(), 0);

    dragOn(meter, QPointF(640, 728), {QPointF(600, 700), QPointF(540, 628)});
    EXPECT_TRUE(frameIs(panel()->frame(), 440, 604, 200, 48));
    EXPECT_FALSE(placed.last().at(1).toBool()) << "a drag is not animated";

    // A level update keeps the dragged place.
    showCompact(std::nullopt, {0.9});
    EXPECT_TRUE(frameIs(panel()->frame(), 440, 604, 200, 48));

    // Past the edges it stops at them (the visible frame starts at y 30).
    dragOn(meter, QPointF(500, 620), {QPointF(-900, -900)});
    EXPECT_TRUE(frameIs(panel()->frame(), 0, 30, 200, 48));
    dragOn(meter, QPointF(100, 50), {QPointF(5000, 5000)});
    EXPECT_TRUE(frameIs(panel()->frame(), 1080, 752, 200, 48));

    // The buttons never start a drag.
    const QRectF before = panel()->frame();
    dragOn(container()->recordingView()->capsule()->finishButton(), QPointF(1270, 770),
           {QPointF(1000, 500)});
    EXPECT_EQ(panel()->frame(), before);

    // Drags do nothing once the panel shows something else, even from a
    // callback kept from the recording panel.
    const FloatingHUDCallbacks recording = model()->callbacks();
    coordinator->showThinking(QStringLiteral("思考中"), {});
    const QRectF thinking = panel()->frame();
    recording.onDragChanged(QSizeF(10, 10));
    recording.onDragEnded();
    EXPECT_EQ(panel()->frame(), thinking);
}

TEST_F(FloatingPanelCoordinatorTest, ADragGoesOnAcrossTheCountdownAndEndsWithItsCapsule) {
    screens->list = {{QRectF(0, 0, 1440, 900), QRectF(0, 0, 1440, 900)}};
    showCompact();
    ASSERT_TRUE(frameIs(panel()->frame(), 620, 804, 200, 48));
    WaveformBarsView *meter = container()->recordingView()->capsule()->meter();
    const auto send = [](QWidget *widget, QEvent::Type type, QPointF at) {
        QMouseEvent event(type, widget->rect().center(), at, Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    };
    send(meter, QEvent::MouseButtonPress, QPointF(720, 828));
    send(meter, QEvent::MouseMove, QPointF(720, 728));
    ASSERT_TRUE(frameIs(panel()->frame(), 620, 704, 200, 48));

    // The countdown's toast grows the panel about its centre while the
    // pointer is still down: the drag carries the grown panel on.
    showCompact(countdown);
    ASSERT_TRUE(frameIs(panel()->frame(), 510, 660, 420, 136));
    send(meter, QEvent::MouseMove, QPointF(720, 708));
    EXPECT_TRUE(frameIs(panel()->frame(), 510, 640, 420, 136));

    // The capsule becomes the meeting panel under the pointer, and the
    // capsule's drag never hears its release.
    showMeeting();
    pumpEvents(20);
    ASSERT_TRUE(frameIs(panel()->frame(), 458, 480, 524, 420));
    ExpandedMeetingHUDView *view = container()->recordingView()->meetingView();
    ASSERT_NE(view, nullptr);
    dragOn(view->dragZone(), QPointF(720, 500), {QPointF(720, 400)});
    EXPECT_TRUE(frameIs(panel()->frame(), 458, 380, 524, 420));
}

TEST_F(FloatingPanelCoordinatorTest, ResizingTheMeetingPanelByItsCornersKeepsItsRatio) {
    screens->list = {{QRectF(0, 0, 1440, 900), QRectF(0, 0, 1440, 900)}};
    showMeeting();
    ExpandedMeetingHUDView *view = container()->recordingView()->meetingView();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(frameIs(panel()->frame(), 458, 432, 524, 420));
    QWidget *bottomRight = nullptr;
    QWidget *topLeft = nullptr;
    for (MeetingResizeHandleView *handle : view->resizeHandles()->handles()) {
        EXPECT_EQ(handle->cursor().shape(), Qt::CrossCursor);
        if (handle->handle() == HUDResizeHandle::bottomTrailing)
            bottomRight = handle;
        if (handle->handle() == HUDResizeHandle::topLeading)
            topLeft = handle;
    }
    ASSERT_TRUE(bottomRight && topLeft);
    EXPECT_EQ(view->dragZone()->cursor().shape(), Qt::OpenHandCursor);

    // Up by 200 with the drag zone, so that it has room to grow downwards.
    dragOn(view->dragZone(), QPointF(720, 450), {QPointF(720, 250)});
    EXPECT_TRUE(frameIs(panel()->frame(), 458, 232, 524, 420));

    // Down and right by (100, 10): 624 wide, the top-left corner fixed.
    dragOn(bottomRight, QPointF(970, 640), {QPointF(1070, 650)});
    EXPECT_TRUE(frameIs(panel()->frame(), 458, 232, 624, 624 * 420.0 / 524));
    ASSERT_TRUE(coordinator->customExpandedCapsuleSize());
    EXPECT_NEAR(coordinator->customExpandedCapsuleSize()->width(), 624, 0.01);

    // The chosen size survives level and content updates.
    showMeeting(std::nullopt, {QStringLiteral("01:06"), {}, {}});
    EXPECT_TRUE(frameIs(panel()->frame(), 458, 232, 624, 624 * 420.0 / 524));

    // Never larger than 860 wide on this screen, never smaller than 450.
    dragOn(topLeft, QPointF(470, 440), {QPointF(-2000, -2000)});
    EXPECT_NEAR(panel()->frame().width(), 860, 0.01);
    EXPECT_NEAR(panel()->frame().height(), 689.31, 0.01);
    dragOn(topLeft, QPointF(0, 0), {QPointF(2000, 2000)});
    EXPECT_NEAR(panel()->frame().width(), 450, 0.01);
    EXPECT_NEAR(panel()->frame().height(), 360.69, 0.01);

    // A countdown toast keeps the chosen size and adds its band.
    showMeeting(countdown);
    EXPECT_NEAR(panel()->frame().width(), 450, 0.01);
    EXPECT_NEAR(panel()->frame().height(), 360.69 + 88, 0.01);

    // Hiding forgets the size: the next meeting panel has the default one.
    coordinator->hide();
    EXPECT_FALSE(coordinator->customExpandedCapsuleSize());
    showMeeting();
    EXPECT_TRUE(frameIs(panel()->frame(), 458, 432, 524, 420));
}

TEST_F(FloatingPanelCoordinatorTest, EveryPointOfACornerHandleTakesThePointer) {
    // The handles are 22 x 22 squares centred 11 in from each corner, so
    // they reach into the corners that the panel's rounding leaves empty:
    // the shape must keep all of them, or clicks there fall through to the
    // window behind.
    for (const std::optional<QString> &toast :
         {std::optional<QString>(), std::optional(countdown)}) {
        coordinator->hide();
        showMeeting(toast);
        ExpandedMeetingHUDView *view = container()->recordingView()->meetingView();
        ASSERT_NE(view, nullptr);
        const QRegion shape = panel()->mask();
        ASSERT_FALSE(shape.isEmpty());
        const QSize size = view->size();
        for (MeetingResizeHandleView *handle : view->resizeHandles()->handles()) {
            const QRect inView(handle->mapTo(view, QPoint(0, 0)), handle->size());
            EXPECT_EQ(inView.size(), QSize(22, 22));
            const QPointF centre = QRectF(inView).center();
            const bool right = handle->handle() == HUDResizeHandle::topTrailing ||
                               handle->handle() == HUDResizeHandle::bottomTrailing;
            const bool bottom = handle->handle() == HUDResizeHandle::bottomLeading ||
                                handle->handle() == HUDResizeHandle::bottomTrailing;
            EXPECT_EQ(centre,
                      QPointF(right ? size.width() - 11 : 11, bottom ? size.height() - 11 : 11));
            const QRect inPanel(handle->mapTo(panel(), QPoint(0, 0)), handle->size());
            for (int y = inPanel.top(); y <= inPanel.bottom(); ++y) {
                for (int x = inPanel.left(); x <= inPanel.right(); ++x)
                    ASSERT_TRUE(shape.contains(QPoint(x, y)))
                        << "(" << x << ", " << y << ") of a handle lets the pointer through";
            }
        }
        if (toast) {
            EXPECT_FALSE(shape.contains(QPoint(2, 2))) << "the empty corner of the toast band";
        }
    }
}

TEST_F(FloatingPanelCoordinatorTest, ThePanelStaysOnItsScreenOnceItHasOne) {
    const FloatingPanelScreens::Screen left{QRectF(0, 0, 1280, 800), QRectF(0, 0, 1280, 760)};
    const FloatingPanelScreens::Screen right{QRectF(1280, 0, 1920, 1080),
                                             QRectF(1280, 32, 1920, 1048)};
    screens->list = {left, right};
    screens->main = left;

    // First show: the screen under the pointer.
    screens->mouse = QPointF(2000, 500);
    showCompact();
    EXPECT_TRUE(frameIs(panel()->frame(), 2140, 984, 200, 48));
    // Later shows: the panel's own screen, wherever the pointer is.
    coordinator->hide();
    screens->mouse = QPointF(100, 100);
    coordinator->showToast(QStringLiteral("提示"), std::nullopt, 3.0, {});
    EXPECT_TRUE(frameIs(panel()->frame(), 2030, 952, 420, 80));

    // A panel off every screen (the screen went away): the pointer's, then
    // the main screen.
    screens->list = {left};
    coordinator->hide();
    coordinator->showThinking(QStringLiteral("思考中"), {});
    EXPECT_TRUE(frameIs(panel()->frame(), 540, 656, 200, 56));
    screens->list = {};
    coordinator->hide();
    coordinator->showThinking(QStringLiteral("思考中"), {});
    EXPECT_TRUE(frameIs(panel()->frame(), 540, 656, 200, 56)) << "main screen";
}

TEST_F(FloatingPanelCoordinatorTest, AMeetingPanelTallerThanTheScreenIsCutToIt) {
    screens->list = {{QRectF(0, 0, 800, 480), QRectF(0, 0, 800, 480)}};
    showMeeting();
    // Placed first without a clamp, then kept on screen from the next call.
    showMeeting(countdown);
    const QRectF frame = panel()->frame();
    EXPECT_TRUE(frameIs(frame, 138, 0, 524, 480));
}

TEST_F(FloatingPanelCoordinatorTest, SwitchingToTheMeetingStateOpensANewPanelOnItsFirstTab) {
    const MeetingHUDContent meeting{QStringLiteral("01:00"), testing::twoStageMeeting(),
                                    testing::sampleSegments()};
    showCompact();
    showMeeting(std::nullopt, meeting);
    ExpandedMeetingHUDView *view = container()->recordingView()->meetingView();
    ASSERT_NE(view, nullptr);
    // Grown about the capsule's centre, then kept on the screen.
    EXPECT_TRUE(frameIs(panel()->frame(), 458, 480, 524, 420));
    view->selectTab(MeetingHUDTab::rawTranscript);
    MeetingHUDContent later = meeting;
    later.elapsedLabel = QStringLiteral("01:01");
    showMeeting(std::nullopt, later);
    EXPECT_EQ(view->selectedTab(), MeetingHUDTab::rawTranscript) << "kept across updates";

    // The next meeting (after a hide) starts on the timeline again.
    coordinator->hide();
    showCompact();
    showMeeting(std::nullopt, meeting);
    ASSERT_NE(container()->recordingView()->meetingView(), nullptr);
    EXPECT_EQ(container()->recordingView()->meetingView()->selectedTab(), MeetingHUDTab::timeline);
}

TEST_F(FloatingPanelCoordinatorTest, APlannedHideOutlivedByItsCoordinatorDoesNothing) {
    coordinator->showCompletion(std::nullopt);
    plannedHide();
    coordinator.reset();
    sleeps.wakeLast();
    pumpEvents(20);
    SUCCEED() << "no crash on a hide for a coordinator that is gone";
}

} // namespace
} // namespace tovalit
