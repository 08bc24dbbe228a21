#include "tests/support/run_task.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/capsule_progress_track.h"
#include "views/hud/floating_hud_container_view.h"
#include "views/hud/floating_hud_model.h"
#include "views/hud/floating_hud_toast_view.h"
#include "views/hud/hud_layout.h"
#include "views/hud/hud_round_button.h"
#include "views/hud/meeting_hud_tab_button.h"
#include "views/hud/recording_hud_capsule.h"
#include "views/hud/recording_hud_view.h"
#include "views/hud/thinking_hud_view.h"
#include "views/hud/waveform_bars_view.h"

#include <QAccessible>
#include <QGraphicsDropShadowEffect>
#include <QLayout>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(WaveformBarsViewTest, AlwaysFiveBarsBetweenTheirHeights) {
    using Levels = std::array<double, 5>;
    EXPECT_EQ(WaveformBarsView::displayLevels({}), (Levels{0.18, 0.18, 0.18, 0.18, 0.18}));
    EXPECT_EQ(WaveformBarsView::displayLevels({0.5, 1.0}), (Levels{1.0, 1.0, 1.0, 0.5, 1.0}));
    EXPECT_EQ(WaveformBarsView::displayLevels({0.1, 0.2, 0.3, 0.4, 0.5}),
              (Levels{0.1, 0.2, 0.3, 0.4, 0.5}));
    EXPECT_EQ(WaveformBarsView::displayLevels({0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7}),
              (Levels{0.1, 0.2, 0.3, 0.4, 0.5}));

    EXPECT_DOUBLE_EQ(WaveformBarsView::barHeight(0.18, 8, 22), 10.52);
    EXPECT_DOUBLE_EQ(WaveformBarsView::barHeight(0.14, 8, 22), 9.96);
    EXPECT_DOUBLE_EQ(WaveformBarsView::barHeight(-1, 8, 22), 8);
    EXPECT_DOUBLE_EQ(WaveformBarsView::barHeight(3, 8, 22), 22);
    EXPECT_DOUBLE_EQ(WaveformBarsView::barHeight(std::nan(""), 8, 22), 8);

    WaveformBarsView meter(8, 22);
    EXPECT_EQ(meter.targetHeights()[0], 10.52) << "a resting meter before any level";
    meter.setLevels({0.0, 1.0});
    const auto heights = meter.targetHeights();
    EXPECT_EQ(heights[0], 22);
    EXPECT_EQ(heights[3], 8);
    EXPECT_EQ(meter.height(), 22);
}

// Levels come far faster than frames: each one retargets the ease from where
// the bars are, the bars end at the last level given, and no frame is drawn
// once they are there.
TEST(WaveformBarsViewTest, BarsEaseToTheLastLevelAndThenStopDrawing) {
    double now = 100;
    WaveformBarsView meter(8, 22, nullptr, [&now] { return now; });
    meter.show();
    EXPECT_FALSE(meter.isAnimating()) << "a resting meter draws nothing";

    meter.setLevels({1.0});
    EXPECT_TRUE(meter.isAnimating());
    EXPECT_EQ(meter.shownHeights()[0], 10.52) << "the ease starts where the bars were";
    now += WaveformBarsView::easeSeconds / 2;
    const qreal halfway = meter.shownHeights()[0];
    EXPECT_NEAR(halfway, 10.52 + (22 - 10.52) * 0.75, 1e-9) << "ease-out: ahead of linear";

    meter.setLevels({0.0, 0.0, 0.0, 0.0, 0.5});
    EXPECT_EQ(meter.shownHeights()[0], halfway) << "no jump when the target changes";
    now += WaveformBarsView::easeSeconds / 2;
    EXPECT_GT(meter.shownHeights()[0], 8) << "a new level restarts the ease";
    now += WaveformBarsView::easeSeconds;
    EXPECT_EQ(meter.shownHeights(), (std::array<qreal, 5>{8, 8, 8, 8, 15}));
    EXPECT_TRUE(testing::waitUntil([&] { return !meter.isAnimating(); }, "the frames to stop"));

    meter.setLevels({0.0, 0.0, 0.0, 0.0, 0.5});
    EXPECT_FALSE(meter.isAnimating()) << "the same levels move nothing";

    meter.setLevels({0.5});
    meter.hide();
    EXPECT_FALSE(meter.isAnimating()) << "no frames for a hidden meter";
    EXPECT_EQ(meter.shownHeights(), meter.targetHeights());
    meter.setLevels({1.0});
    EXPECT_FALSE(meter.isAnimating());
    EXPECT_EQ(meter.shownHeights()[0], 22) << "a hidden meter shows its levels when shown";
}

// In a pause the levels creep toward silence by amounts no pixel shows:
// such frames are not painted, while a move of a fraction of a pixel that
// does change an edge pixel still is.
TEST(WaveformBarsViewTest, AFrameOnlyPaintsWhenAPixelChanges) {
    double now = 100;
    WaveformBarsView meter(8, 22, nullptr, [&now] { return now; });
    int paints = 0;
    struct PaintCounter : QObject {
        int *paints;
        explicit PaintCounter(int *count)
            : paints(count) {}
        bool eventFilter(QObject *, QEvent *event) override {
            if (event->type() == QEvent::Paint)
                ++*paints;
            return false;
        }
    } counter(&paints);
    meter.installEventFilter(&counter);
    meter.resize(60, WaveformBarsView::frameHeight);
    meter.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&meter));
    ASSERT_TRUE(testing::waitUntil([&] { return paints > 0; }, "the first paint"));

    // Each level is reached within the first frame: the clock has run past
    // the ease by the time it is drawn.
    const auto frameAt = [&](double level) {
        const int before = paints;
        meter.setLevels({level});
        now += WaveformBarsView::easeSeconds;
        EXPECT_TRUE(testing::waitUntil([&] { return !meter.isAnimating(); }, "the frames to stop"));
        return paints - before;
    };
    EXPECT_GE(frameAt(0.5), 1) << "bars that moved are painted";
    const auto painted = meter.coverage(meter.shownHeights());
    EXPECT_EQ(frameAt(0.5 + 1e-9), 0) << "a move no pixel shows paints nothing";
    EXPECT_EQ(meter.coverage(meter.shownHeights()), painted);
    // A fiftieth of a pixel: below what is surely visible, yet the edge
    // pixels' coverage changes.
    const double fiftieth = 1.0 / 50 / (22 - 8);
    std::array<qreal, 5> nudged;
    nudged.fill(WaveformBarsView::barHeight(0.5 + 2 * fiftieth, 8, 22));
    EXPECT_NE(meter.coverage(nudged), painted);
    EXPECT_GE(frameAt(0.5 + 2 * fiftieth), 1) << "a move a pixel shows is painted";
}

TEST(FloatingHUDModelTest, ToastTextsAreTrimmedAndBlankOnesDropped) {
    EXPECT_EQ(FloatingHUDModel::normalizedToastMessage(std::nullopt), std::nullopt);
    EXPECT_EQ(FloatingHUDModel::normalizedToastMessage(QStringLiteral(" \n\u3000")), std::nullopt);
    EXPECT_EQ(FloatingHUDModel::normalizedToastMessage(QStringLiteral("\n 已复制 \n")),
              QStringLiteral("已复制"));

    FloatingHUDModel model;
    EXPECT_EQ(model.mode(), FloatingHUDModel::Mode::status(QStringLiteral("思考中"), true));
    EXPECT_FALSE(model.hasToast());
    model.showToastOnly(QStringLiteral("  提示  "), QStringLiteral("   "), [] {});
    EXPECT_EQ(model.toastMessage(), QStringLiteral("提示"));
    EXPECT_EQ(model.toastActionTitle(), std::nullopt) << "a blank title shows no button";
    EXPECT_TRUE(model.hasToast());

    // A status publishes its mode even when it is the same one.
    QSignalSpy modes(&model, &FloatingHUDModel::modeChanged);
    model.showStatus(QStringLiteral("思考中"), true, std::nullopt);
    model.showStatus(QStringLiteral("思考中"), true, std::nullopt);
    EXPECT_EQ(modes.count(), 2);
    EXPECT_FALSE(model.hasToast());
    EXPECT_FALSE(model.callbacks().onToastAction);
}

// The names a screen reader finds in `element` and below it.
QStringList accessibleNamesUnder(QAccessibleInterface *element) {
    QStringList names;
    std::function<void(QAccessibleInterface *)> visit = [&](QAccessibleInterface *at) {
        names << at->text(QAccessible::Name);
        for (int index = 0; index < at->childCount(); ++index)
            visit(at->child(index));
    };
    visit(element);
    return names;
}

class FloatingHUDToastViewTest : public ::testing::Test {
protected:
    void SetUp() override { toast.resize(toast.width(), toast.heightForWidth(toast.width())); }
    FloatingHUDToastView toast;
};

TEST_F(FloatingHUDToastViewTest, AButtonNeedsBothATitleAndAnAction) {
    EXPECT_EQ(toast.width(), int(HUDLayout::toastPanelWidth));
    int pressed = 0;
    toast.setContent(QStringLiteral("已复制"), false, QStringLiteral("撤销"), {});
    EXPECT_TRUE(toast.actionButton()->isHidden());
    toast.setContent(QStringLiteral("已复制"), false, std::nullopt, [&] { ++pressed; });
    EXPECT_TRUE(toast.actionButton()->isHidden());
    toast.setContent(QStringLiteral("已复制"), false, QStringLiteral("撤销"), [&] { ++pressed; });
    ASSERT_FALSE(toast.actionButton()->isHidden());
    toast.actionButton()->click();
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(toast.accessibleName(), QStringLiteral("已复制"));

    // The icon and the border follow the error flag.
    EXPECT_EQ(toast.icon()->symbolName(), QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(toast.icon()->color(), TovalitPalette::brandStrong());
    toast.setContent(QStringLiteral("失败"), true, std::nullopt, {});
    EXPECT_EQ(toast.icon()->symbolName(), QStringLiteral("exclamationmark.circle.fill"));
    EXPECT_EQ(toast.icon()->color(), TovalitPalette::red());
    EXPECT_EQ(toast.level(), TovalitGlassLevel::toast(true));
}

TEST_F(FloatingHUDToastViewTest, TheMessageIsReadOnceAndItsButtonStaysToBePressed) {
    toast.show();
    QAccessibleInterface *element = QAccessible::queryAccessibleInterface(&toast);
    ASSERT_NE(element, nullptr);
    toast.setContent(QStringLiteral("已复制到剪贴板"), false, std::nullopt, {});
    EXPECT_EQ(accessibleNamesUnder(element), QStringList{QStringLiteral("已复制到剪贴板")});

    toast.setContent(QStringLiteral("插入失败"), true, QStringLiteral("重试"), [] {});
    EXPECT_EQ(accessibleNamesUnder(element),
              (QStringList{QStringLiteral("插入失败"), QStringLiteral("重试")}));
    ASSERT_EQ(element->childCount(), 1);
    EXPECT_NE(element->child(0)->actionInterface(), nullptr);
}

TEST_F(FloatingHUDToastViewTest, LongMessagesWrapWithinTheToastUpToFiveLines) {
    const QString oneLine = QStringLiteral("个人词库保存失败：");
    toast.setContent(oneLine, false, std::nullopt, {});
    const int oneLineHeight = toast.heightForWidth(toast.width());

    QString longText;
    for (int index = 0; index < 12; ++index)
        longText += QStringLiteral("这是一段会被折行的很长的提示文字，");
    toast.setContent(longText, false, QStringLiteral("复制"), [] {});
    toast.resize(toast.width(), toast.heightForWidth(toast.width()));
    toast.layout()->activate();
    EXPECT_EQ(toast.width(), 420) << "a long message never widens the toast";
    TovalitTextLabel *label = toast.messageLabel();
    EXPECT_EQ(label->lineCountForWidth(label->width()), 5);
    EXPECT_TRUE(label->isTruncatedAtWidth(label->width()));
    EXPECT_GT(toast.heightForWidth(420), oneLineHeight * 2);
    EXPECT_EQ(label->text(), longText) << "the text itself is kept whole";
    EXPECT_EQ(label->textFormat(), Qt::PlainText);

    // Markup is shown as written.
    toast.setContent(QStringLiteral("<b>粗体</b>"), false, std::nullopt, {});
    EXPECT_EQ(toast.messageLabel()->text(), QStringLiteral("<b>粗体</b>"));
}

TEST(ThinkingHUDViewTest, IconBarAndColourFollowProgressAndError) {
    EXPECT_EQ(ThinkingHUDView::leadingIcon(true, false), QStringLiteral("sparkles"));
    EXPECT_EQ(ThinkingHUDView::leadingIcon(true, true), QStringLiteral("sparkles"));
    EXPECT_EQ(ThinkingHUDView::leadingIcon(false, false), QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(ThinkingHUDView::leadingIcon(false, true),
              QStringLiteral("exclamationmark.circle.fill"));
    EXPECT_EQ(ThinkingHUDView::leadingColor(true, true), TovalitPalette::brandStrong());
    EXPECT_EQ(ThinkingHUDView::leadingColor(false, true), TovalitPalette::red());

    ThinkingHUDView view(QStringLiteral("整理中"), true, false);
    EXPECT_EQ(view.size(), HUDLayout::thinkingPanelSize.toSize());
    EXPECT_NE(view.progressTrack(), nullptr);
    EXPECT_EQ(view.stillBar(), nullptr);
    EXPECT_EQ(view.accessibleName(), QStringLiteral("整理中"));

    view.setStatus(QStringLiteral("已完成"), false, false);
    EXPECT_EQ(view.progressTrack(), nullptr);
    ASSERT_NE(view.stillBar(), nullptr);
    EXPECT_EQ(view.icon()->symbolName(), QStringLiteral("checkmark.circle.fill"));
    view.setStatus(QStringLiteral("失败"), false, true);
    EXPECT_EQ(view.icon()->color(), TovalitPalette::red());

    // A long title stays on one line, cut at its end.
    const QString longTitle = QStringLiteral("正在整理一段非常非常长的转写内容并准备写回输入框");
    view.setStatus(longTitle, true, false);
    view.show();
    view.layout()->activate();
    EXPECT_FALSE(view.title()->wraps());
    EXPECT_TRUE(view.title()->isTruncatedAtWidth(view.title()->width()));
    EXPECT_EQ(view.title()->height(), view.title()->sizeHint().height());
    EXPECT_EQ(view.title()->text(), longTitle);
}

// A screen reader reads every element it finds: the status must be one
// element, named with the status, and nothing inside it said again.
TEST(ThinkingHUDViewTest, TheStatusIsOneAccessibleElement) {
    ThinkingHUDView view(QStringLiteral("整理中"), true, false);
    view.show();
    QAccessibleInterface *element = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(accessibleNamesUnder(element).count(QStringLiteral("整理中")), 1);
    EXPECT_EQ(element->text(QAccessible::Name), QStringLiteral("整理中"));

    view.setStatus(QStringLiteral("准备插入"), true, false);
    EXPECT_EQ(accessibleNamesUnder(element), QStringList{QStringLiteral("准备插入")});
}

// The toast and the status are read as their panel, named with the text.
// The label inside that draws it sends events of its own as it changes and
// shows, filled in from what it says: it must say nothing, or the text is
// announced twice.
TEST(ThinkingHUDViewTest, TheLabelsInsideTheToastAndTheStatusSayNothing) {
    FloatingHUDToastView toast;
    toast.setContent(QStringLiteral("已复制到剪贴板"), false, std::nullopt, {});
    ThinkingHUDView status(QStringLiteral("整理中"), true, false);
    toast.show();
    status.show();
    for (QWidget *label :
         {static_cast<QWidget *>(toast.messageLabel()), static_cast<QWidget *>(status.title())}) {
        QAccessibleInterface *element = QAccessible::queryAccessibleInterface(label);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->text(QAccessible::Name), QString()) << label->objectName().toStdString();
        EXPECT_EQ(element->role(), QAccessible::NoRole);
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&toast)->text(QAccessible::Name),
              QStringLiteral("已复制到剪贴板"));
}

TEST(ThinkingHUDViewTest, TheContentSitsCentredInThePaddedPanel) {
    // Padded 14 at the sides and 12 at the top and bottom, then framed to
    // 200 x 56: the title row and, 8 below it, the 4-high bar stand in the
    // middle of the panel.
    for (bool showsProgress : {true, false}) {
        ThinkingHUDView view(QStringLiteral("思考中"), showsProgress, false);
        view.show();
        view.layout()->activate();
        ASSERT_EQ(view.size(), QSize(200, 56));
        QWidget *bar =
            showsProgress ? static_cast<QWidget *>(view.progressTrack()) : view.stillBar();
        ASSERT_NE(bar, nullptr);
        const QRect icon = view.icon()->geometry();
        const QRect title = view.title()->geometry();
        const int rowTop = std::min(icon.top(), title.top());
        const int rowBottom = std::max(icon.bottom(), title.bottom()) + 1;
        EXPECT_EQ(icon.left(), 14);
        EXPECT_EQ(title.left(), icon.right() + 1 + 8);
        EXPECT_EQ(bar->geometry(), QRect(14, rowBottom + 8, 172, 4));
        // Centred: an odd pixel left over goes above, as a middle at .5
        // rounds up.
        const int content = bar->geometry().bottom() + 1 - rowTop;
        const int spare = 56 - 2 * 12 - content;
        ASSERT_GE(spare, 0);
        EXPECT_EQ(rowTop, 12 + (spare + 1) / 2);
    }
}

TEST(CapsuleProgressTrackTest, TheIndicatorSweepsFromHiddenLeftToHiddenRight) {
    EXPECT_DOUBLE_EQ(CapsuleProgressTrack::indicatorWidth(172), 48.16);
    EXPECT_DOUBLE_EQ(CapsuleProgressTrack::indicatorWidth(100), 48);

    ThinkingHUDView view(QStringLiteral("思考中"), true, false);
    view.show();
    view.layout()->activate();
    CapsuleProgressTrack *track = view.progressTrack();
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->width(), 172) << "the panel's inner width";
    EXPECT_TRUE(track->isSweeping());
    // The indicator moves, within its travel.
    QList<qreal> seen;
    testing::waitUntil(
        [&] {
            seen.append(track->indicatorOffset());
            return seen.size() > 3 && seen.first() != seen.last();
        },
        "the indicator to move");
    for (qreal offset : seen) {
        EXPECT_GE(offset, -48.16 - 0.01);
        EXPECT_LE(offset, 172.01);
    }
    view.hide();
    EXPECT_FALSE(track->isSweeping()) << "no animation runs while hidden";
}

// The panel's buttons are plain: a press draws nothing of its own, the
// button looks the same held down as at rest.
TEST(HUDButtonsTest, PressingLeavesRoundToastAndTabButtonsAsTheyWere) {
    const auto looksTheSamePressed = [](QAbstractButton &button) {
        button.show();
        testing::pumpEvents();
        const QImage atRest = button.grab().toImage();
        button.setDown(true);
        const QImage pressed = button.grab().toImage();
        button.setDown(false);
        return atRest == pressed;
    };
    HUDRoundButton capsuleButton(QStringLiteral("xmark"), QStringLiteral("取消"), 28);
    EXPECT_TRUE(looksTheSamePressed(capsuleButton)) << "the capsule's round button";
    HUDRoundButton meetingButton(QStringLiteral("checkmark"), QStringLiteral("完成"), 26);
    EXPECT_TRUE(looksTheSamePressed(meetingButton)) << "the meeting panel's round button";

    FloatingHUDToastView toast;
    toast.setContent(QStringLiteral("已撤销"), false, QStringLiteral("撤销"), [] {});
    toast.resize(toast.width(), toast.heightForWidth(toast.width()));
    toast.show();
    ToastActionButton *action = toast.actionButton();
    ASSERT_FALSE(action->isHidden());
    EXPECT_TRUE(looksTheSamePressed(*action)) << "the toast's action";

    for (bool selected : {false, true}) {
        MeetingHUDTabButton tab(QStringLiteral("实时总结"));
        tab.setSelected(selected);
        EXPECT_TRUE(looksTheSamePressed(tab)) << "a tab, selected " << selected;
    }
}

TEST(RecordingHUDCapsuleTest, ButtonsReportAndTheMeterIsTheDragHandle) {
    RecordingHUDCapsule capsule;
    capsule.show();
    EXPECT_EQ(capsule.size(), QSize(200, 48));
    EXPECT_EQ(capsule.cancelButton()->systemImage(), QStringLiteral("xmark"));
    EXPECT_EQ(capsule.finishButton()->systemImage(), QStringLiteral("checkmark"));
    EXPECT_EQ(capsule.cancelButton()->size(), QSize(28, 28));
    // A screen reader says what each does, in the interface's words.
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(capsule.cancelButton())->text(QAccessible::Name),
        QStringLiteral("取消"));
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(capsule.finishButton())->text(QAccessible::Name),
        QStringLiteral("完成"));
    QSignalSpy cancelled(&capsule, &RecordingHUDCapsule::cancelRequested);
    QSignalSpy finished(&capsule, &RecordingHUDCapsule::finishRequested);
    QSignalSpy dragged(&capsule, &RecordingHUDCapsule::dragChanged);
    QSignalSpy ended(&capsule, &RecordingHUDCapsule::dragEnded);
    QTest::mouseClick(capsule.cancelButton(), Qt::LeftButton);
    QTest::mouseClick(capsule.finishButton(), Qt::LeftButton);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_EQ(finished.count(), 1);
    // A click on the meter is no drag.
    QTest::mouseClick(capsule.meter(), Qt::LeftButton);
    EXPECT_EQ(dragged.count(), 0);
    EXPECT_EQ(ended.count(), 0);
}

// The panel's root view outside any panel window: its glass is see-through
// unless the window says otherwise, whatever the desktop under the test.
class FloatingHUDContainerViewTest : public ::testing::Test {
protected:
    void showCompact(std::optional<QString> toast) {
        model.showRecording({0.3}, RecordingHUDDisplayState::compact(), {}, {}, toast,
                            toast ? std::optional<QString>(QStringLiteral("取消")) : std::nullopt,
                            {}, {}, {}, {}, {});
        layOut(toast ? QSize(420, 136) : QSize(200, 48));
    }
    void layOut(QSize size) {
        container.resize(size);
        container.show();
        container.layout()->activate();
    }
    static const QGraphicsDropShadowEffect *shadowOf(const QWidget *widget) {
        return qobject_cast<const QGraphicsDropShadowEffect *>(widget->graphicsEffect());
    }

    FloatingHUDModel model;
    FloatingHUDContainerView container{&model};
};

TEST_F(FloatingHUDContainerViewTest, ToastsCastTheirShadowAndSoDoPanelsAToastWidens) {
    showCompact(QStringLiteral("录音已超过 1 分钟，将在 9 秒后自动进入会议纪要模式"));
    const FloatingHUDToastView *toast = container.toastView();
    const QGraphicsDropShadowEffect *toastShadow = shadowOf(toast);
    ASSERT_NE(toastShadow, nullptr);
    EXPECT_EQ(toastShadow->color(), TovalitPalette::black(0.08));
    EXPECT_EQ(toastShadow->blurRadius(), 12);
    EXPECT_EQ(toastShadow->offset(), QPointF(0, 4));
    // The capsule's view is the capsule's size and casts its shadow for it.
    RecordingHUDView *recording = container.recordingView();
    ASSERT_NE(recording, nullptr);
    const QGraphicsDropShadowEffect *capsuleShadow = shadowOf(recording);
    ASSERT_NE(capsuleShadow, nullptr) << "the toast widens the panel around the capsule";
    EXPECT_EQ(capsuleShadow->color(), TovalitPalette::black(0.12));
    EXPECT_EQ(capsuleShadow->blurRadius(), 24);
    EXPECT_EQ(capsuleShadow->offset(), QPointF(0, 8));

    // Both are drawn, and the panel's shape takes them in.
    const QImage drawn = container.grab().toImage();
    const QRegion shape = container.surfaceRegion();
    const QPoint underToast(toast->geometry().center().x(), toast->geometry().bottom() + 3);
    const QPoint besideCapsule(recording->x() - 6, recording->geometry().center().y());
    for (const QPoint &shaded : {underToast, besideCapsule}) {
        EXPECT_GT(qAlpha(drawn.pixel(shaded)), 0) << shaded.x() << "," << shaded.y();
        EXPECT_TRUE(shape.contains(shaded)) << shaded.x() << "," << shaded.y();
    }

    // A capsule that fills its panel has nowhere to cast one.
    showCompact(std::nullopt);
    EXPECT_EQ(recording->graphicsEffect(), nullptr);
    EXPECT_FALSE(container.surfaceRegion().contains(QPoint(1, 1)));
    model.showStatus(QStringLiteral("已完成"), false, QStringLiteral("已插入"));
    layOut(QSize(420, 144));
    ASSERT_NE(container.thinkingView(), nullptr);
    EXPECT_NE(shadowOf(container.thinkingView()), nullptr);
    model.showStatus(QStringLiteral("整理中"), true, std::nullopt);
    EXPECT_EQ(container.thinkingView()->graphicsEffect(), nullptr);

    // Without a compositor a shadow would come out black: none is cast.
    model.showStatus(QStringLiteral("已完成"), false, QStringLiteral("已插入"));
    container.setProperty("tovalitOpaqueGlass", true);
    container.refreshShadows();
    EXPECT_EQ(toast->graphicsEffect(), nullptr);
    EXPECT_EQ(container.thinkingView()->graphicsEffect(), nullptr);
}

} // namespace
} // namespace tovalit
