#include "tests/views/window_pages_fixture.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_metric_card.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/main_panel_view.h"

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

class HomePageTest : public WindowPagesTest {
protected:
    TovalitBadge &badge(const MainPanelView &page, const char *name) {
        return *page.findChild<TovalitBadge *>(QString::fromLatin1(name));
    }
    TovalitMetricCard &metric(const MainPanelView &page, const char *name) {
        return *page.findChild<TovalitMetricCard *>(QString::fromLatin1(name));
    }
    QString statusLine(const MainPanelView &page) {
        return textOf(page, QStringLiteral("statusHint"));
    }
    QStringList badgeTitles(const QWidget &card) {
        QStringList titles;
        for (TovalitBadge *badge : card.findChildren<TovalitBadge *>())
            titles << badge->title();
        return titles;
    }
    QStringList texts(const QWidget &card) {
        QStringList result;
        for (TovalitTextLabel *label : card.findChildren<TovalitTextLabel *>())
            result << label->text();
        return result;
    }
};

TEST_F(HomePageTest, PermissionCardsCountEverythingButGrantedAsMissing) {
    makeObjects({});
    {
        MainPanelView page(*viewModel, *store, *permissions);
        EXPECT_EQ(badge(page, "permissionBadge").title(), QStringLiteral("权限已就绪"));
        EXPECT_EQ(badge(page, "permissionBadge").tone(), TovalitBadgeTone::success);
        TovalitMetricCard &card = metric(page, "permissionMetric");
        EXPECT_EQ(card.valueLabel()->text(), QStringLiteral("已就绪"));
        EXPECT_EQ(card.valueLabel()->color(), TovalitPalette::brandStrong());
        EXPECT_EQ(card.detailLabel()->text(), QStringLiteral("麦克风、键盘读取和辅助技术均已就绪"))
            << "no states at all counts as everything granted";
    }

    makeObjects();
    MainPanelView page(*viewModel, *store, *permissions);
    doubles.probe->setTrusted(false);
    permissions->refreshStates();
    TovalitMetricCard &card = metric(page, "permissionMetric");
    EXPECT_EQ(card.valueLabel()->text(), QStringLiteral("需处理"));
    EXPECT_EQ(card.valueLabel()->color(), TovalitPalette::orange());
    EXPECT_EQ(card.detailLabel()->text(), QStringLiteral("仍需处理：辅助技术（AT-SPI）"));
    EXPECT_EQ(badge(page, "permissionBadge").title(), QStringLiteral("权限待处理"));
    EXPECT_EQ(badge(page, "permissionBadge").tone(), TovalitBadgeTone::warning);

    // Never asked and switched off by hand both count, in the
    // coordinator's order.
    doubles.probe->setMicrophone(MicrophoneAuthorizationStatus::notDetermined);
    permissions->refreshStates();
    EXPECT_EQ(card.detailLabel()->text(), QStringLiteral("仍需处理：麦克风、辅助技术（AT-SPI）"));
    EXPECT_EQ(page.permissionSummary(), card.detailLabel()->text());

    doubles.grantEverything();
    permissions->refreshStates();
    EXPECT_EQ(card.valueLabel()->text(), QStringLiteral("已就绪"));

    // The keyboard devices count only while the shortcut is Fn.
    doubles.probe->setListenEventAccess(false);
    permissions->refreshStates();
    EXPECT_EQ(card.detailLabel()->text(), QStringLiteral("仍需处理：键盘读取（input 组）"));
    store->setShortcutConfiguration(
        ShortcutConfiguration::custom(40, ModifierFlag::control, QStringLiteral("K")));
    EXPECT_EQ(card.valueLabel()->text(), QStringLiteral("已就绪"));
    EXPECT_EQ(card.detailLabel()->text(),
              QStringLiteral("麦克风和辅助技术均已就绪；键盘读取仅 Fn 需要"));
    EXPECT_EQ(badge(page, "permissionBadge").title(), QStringLiteral("权限已就绪"));
}

TEST_F(HomePageTest, TheStatusCardFollowsTheRecording) {
    doubles.transcriberScript.finishText = QStringLiteral("周五之前交报告");
    doubles.formatterAnswers.fallback = QStringLiteral("周五之前交报告。");
    makeObjects();
    MainPanelView page(*viewModel, *store, *permissions);
    EXPECT_EQ(badge(page, "recordingBadge").title(), QStringLiteral("待命中"));
    EXPECT_EQ(badge(page, "recordingBadge").tone(), TovalitBadgeTone::brand);
    EXPECT_EQ(statusLine(page), QStringLiteral("按 Fn 开始或停止录音"));

    doubles.startRecording(*viewModel);
    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());
    EXPECT_EQ(badge(page, "recordingBadge").title(), QStringLiteral("录音中"));
    EXPECT_EQ(badge(page, "recordingBadge").tone(), TovalitBadgeTone::danger);
    EXPECT_EQ(statusLine(page), QStringLiteral("再次按 Fn 结束录音，随后会自动帮你把话说顺"));

    // Thinking is not recording: the badge is back to standby at once.
    doubles.formatterAnswers.gate = std::make_shared<Gate>();
    doubles.time.advance(2.0);
    TranscriberViewModel *controller = viewModel.get();
    spawn(controller, [controller] { return controller->toggleRecording(); });
    waitUntil([&] { return viewModel->recordingState() == RecordingState::thinking(); },
              "the stop to start formatting");
    EXPECT_EQ(badge(page, "recordingBadge").title(), QStringLiteral("待命中"));
    EXPECT_EQ(statusLine(page), QStringLiteral("正在整理转写内容并准备写回输入框"));
    doubles.formatterAnswers.gate->open();
    waitUntil([&] { return viewModel->recordingState() == RecordingState::idle(); },
              "the dictation to end");
    EXPECT_EQ(statusLine(page), QStringLiteral("按 Fn 开始或停止录音"));
}

TEST_F(HomePageTest, TheShortcutCardShowsTheCombinationAndItsFailure) {
    doubles.shouldBootstrap = true;
    doubles.globalHotKey->failRegistrations(
        GlobalHotKeyError(GlobalHotKeyError::Kind::alreadyTaken));
    makeObjects();
    MainPanelView page(*viewModel, *store, *permissions);
    TovalitMetricCard &card = metric(page, "shortcutMetric");
    EXPECT_EQ(card.valueLabel()->text(), QStringLiteral("Fn"));
    EXPECT_EQ(card.detailLabel()->text(), viewModel->shortcutActivationState().message);

    store->setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K")));
    EXPECT_EQ(card.valueLabel()->text(), QStringLiteral("Alt+Super+K"));
    ASSERT_EQ(viewModel->shortcutActivationState().kind, ShortcutActivationState::Case::failed);
    EXPECT_EQ(card.detailLabel()->text(), QStringLiteral("Alt+Super+K 注册失败，请换一个快捷键"));
    EXPECT_EQ(statusLine(page), QStringLiteral("Alt+Super+K 注册失败，请换一个快捷键"))
        << "a failed shortcut is the status line while idle";
}

TEST_F(HomePageTest, DeliveryAndMinutesCardsFollowTheSettings) {
    makeObjects();
    MainPanelView page(*viewModel, *store, *permissions);
    TovalitMetricCard &delivery = metric(page, "deliveryMetric");
    EXPECT_EQ(delivery.valueLabel()->text(), QStringLiteral("自动插入"));
    EXPECT_EQ(delivery.detailLabel()->text(), QStringLiteral("整理完成后会优先写回当前焦点输入框"));

    store->setAutoInsertIntoFocusedInput(false);
    EXPECT_EQ(delivery.valueLabel()->text(), QStringLiteral("仅复制/预览"));
    EXPECT_EQ(delivery.valueLabel()->color(), TovalitPalette::secondary());
    EXPECT_EQ(delivery.detailLabel()->text(), QStringLiteral("本轮关闭自动插入，只保留文本预览"));

    QWidget &minutes = *page.findChild<QWidget *>(QStringLiteral("minutesModeCard"));
    QWidget &natural = *page.findChild<QWidget *>(QStringLiteral("naturalModeCard"));
    EXPECT_EQ(badgeTitles(minutes), QStringList{QStringLiteral("已开启")});
    EXPECT_EQ(badgeTitles(natural), QStringList{QStringLiteral("使用中")});
    const QStringList before = texts(minutes);
    EXPECT_TRUE(before.contains(
        QStringLiteral("录音超过 1 分钟后会先弹 10 秒倒计时，再自动进入展开纪要面板。")));

    store->setMeetingModeEnabled(false);
    TovalitBadge *minutesBadge = minutes.findChild<TovalitBadge *>();
    EXPECT_EQ(minutesBadge->title(), QStringLiteral("已关闭"));
    EXPECT_EQ(minutesBadge->tone(), TovalitBadgeTone::neutral);
    const QStringList after = texts(minutes);
    EXPECT_TRUE(
        after.contains(QStringLiteral("当前已关闭自动进入；会议模式不会在长录音中自动弹出。")));
    EXPECT_EQ(before.at(1), after.at(1)) << "the summary line stays";
}

} // namespace
} // namespace tovalit::testing
