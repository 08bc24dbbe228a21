#include "platform/fake/recording_remote_desktop_keyboard.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "state/app_launch_coordinator.h"
#include "tests/support/manual_sleeper.h"
#include "tests/views/window_pages_fixture.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_text_label.h"
#include "views/permissions/permissions_onboarding_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

class OnboardingTest : public WindowPagesTest {
protected:
    PermissionsOnboardingView &makeView() {
        view.reset();
        launch.reset();
        if (!store)
            makeObjects();
        launch = std::make_unique<AppLaunchCoordinator>(*store, *permissions);
        view = std::make_unique<PermissionsOnboardingView>(*permissions, *launch, *store);
        view->resize(760, 1200);
        return *view;
    }
    QWidget *child(const char *name) {
        return view->findChild<QWidget *>(QString::fromLatin1(name));
    }
    bool shown(const char *name) {
        QWidget *widget = child(name);
        return widget && !widget->isHidden();
    }
    QPushButton &button(const char *name) {
        return *view->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    QWidget &row(PermissionKind kind) {
        return *view->findChild<QWidget *>(QStringLiteral("permissionRow.") + rawValue(kind));
    }
    QStringList rowButtons(PermissionKind kind) { return buttonTitles(row(kind)); }
    QString rowText(PermissionKind kind) {
        QStringList texts;
        for (TovalitTextLabel *label : row(kind).findChildren<TovalitTextLabel *>())
            texts << label->text();
        return texts.join(u'\n');
    }
    TovalitBadge &rowBadge(PermissionKind kind) { return *row(kind).findChild<TovalitBadge *>(); }
    void settle() { processEventsFor(std::chrono::milliseconds(20)); }

    ~OnboardingTest() override {
        view.reset();
        launch.reset();
    }

    std::unique_ptr<AppLaunchCoordinator> launch;
    std::unique_ptr<PermissionsOnboardingView> view;
};

TEST_F(OnboardingTest, EverythingGrantedLeavesOnlyTheWayIn) {
    makeView();
    EXPECT_EQ(textOf<TovalitTextLabel>(*view, QStringLiteral("progressCount")),
              QStringLiteral("3/3"));
    EXPECT_FALSE(shown("primaryGuidedButton"));
    EXPECT_FALSE(shown("troubleshootingCard"));
    EXPECT_FALSE(shown("bypassButton"));
    EXPECT_EQ(child("diskImageWarningCard"), nullptr);
    EXPECT_TRUE(button("enterButton").isEnabled());
    for (PermissionKind kind : allPermissionKinds) {
        EXPECT_EQ(rowBadge(kind).title(), QStringLiteral("已授权"));
        EXPECT_TRUE(rowButtons(kind).isEmpty()) << "a granted row has no buttons";
    }
}

TEST_F(OnboardingTest, EachRowOffersWhatItsStateNeeds) {
    doubles.probe->setMicrophone(MicrophoneAuthorizationStatus::notDetermined);
    doubles.probe->setTrusted(false);
    doubles.probe->setListenEventAccess(false);
    makeView();
    EXPECT_EQ(textOf<TovalitTextLabel>(*view, QStringLiteral("progressCount")),
              QStringLiteral("0/3"));
    EXPECT_EQ(button("primaryGuidedButton").text(), QStringLiteral("下一步：检查麦克风"));
    EXPECT_TRUE(shown("troubleshootingCard"));
    EXPECT_TRUE(shown("bypassButton"));
    EXPECT_FALSE(button("enterButton").isEnabled());

    EXPECT_EQ(rowBadge(PermissionKind::microphone).title(), QStringLiteral("检查中"));
    EXPECT_EQ(rowBadge(PermissionKind::microphone).tone(), TovalitBadgeTone::neutral);
    EXPECT_EQ(rowButtons(PermissionKind::microphone),
              (QStringList{QStringLiteral("检查麦克风"), QStringLiteral("打开声音设置")}));
    EXPECT_EQ(rowBadge(PermissionKind::accessibility).title(), QStringLiteral("需手动开启"));
    EXPECT_EQ(rowBadge(PermissionKind::accessibility).tone(), TovalitBadgeTone::warning);
    EXPECT_EQ(rowButtons(PermissionKind::accessibility),
              QStringList{QStringLiteral("开启辅助技术")})
        << "the desktops' own pages have no switch for it";

    // The input group has no settings page anywhere: its steps are in the
    // row, with the command to copy.
    EXPECT_EQ(rowButtons(PermissionKind::inputMonitoring), QStringList{QStringLiteral("复制命令")});
    auto *steps = row(PermissionKind::inputMonitoring)
                      .findChild<TovalitTextLabel *>(QStringLiteral("inputGroupSteps"));
    ASSERT_NE(steps, nullptr);
    EXPECT_TRUE(steps->text().contains(QStringLiteral("sudo usermod -aG input $USER")));
    EXPECT_TRUE(steps->text().contains(QStringLiteral("注销并重新登录")));
    QGuiApplication::clipboard()->clear();
    buttonTitled(row(PermissionKind::inputMonitoring), QStringLiteral("复制命令"))->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("sudo usermod -aG input $USER"));
    EXPECT_EQ(rowButtons(PermissionKind::inputMonitoring), QStringList{QStringLiteral("已复制")});
    EXPECT_TRUE(doubles.opener->opened().isEmpty());

    EXPECT_EQ(PermissionsOnboardingView::primaryActionTitle(
                  {PermissionKind::microphone, PermissionAuthorizationState::needsManualEnable}),
              QStringLiteral("下一步：打开声音设置，选择输入设备"));
    EXPECT_EQ(PermissionsOnboardingView::primaryActionTitle(
                  {PermissionKind::inputMonitoring, PermissionAuthorizationState::notDetermined}),
              QStringLiteral("下一步：查看如何开启键盘读取（input 组）"));
    EXPECT_EQ(PermissionsOnboardingView::primaryActionTitle(
                  {PermissionKind::accessibility, PermissionAuthorizationState::needsManualEnable}),
              QStringLiteral("下一步：开启辅助技术支持（AT-SPI）"));
}

TEST_F(OnboardingTest, AKeyCombinationNeedsNoKeyboardDevices) {
    doubles.probe->setListenEventAccess(false);
    makeObjects();
    store->setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K")));
    makeView();
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());
    EXPECT_EQ(textOf<TovalitTextLabel>(*view, QStringLiteral("progressCount")),
              QStringLiteral("2/2"));
    EXPECT_FALSE(shown("primaryGuidedButton"));
    EXPECT_FALSE(shown("troubleshootingCard"));
    EXPECT_FALSE(shown("bypassButton"));
    EXPECT_TRUE(button("enterButton").isEnabled());
    // The row stays, saying what it is for.
    EXPECT_TRUE(
        rowText(PermissionKind::inputMonitoring).contains(QStringLiteral("仅 Fn 快捷键需要")));

    // Choosing Fn while the page shows makes the row a step again.
    store->setShortcutConfiguration(ShortcutConfiguration::functionKey());
    EXPECT_EQ(textOf<TovalitTextLabel>(*view, QStringLiteral("progressCount")),
              QStringLiteral("2/3"));
    EXPECT_EQ(button("primaryGuidedButton").text(),
              QStringLiteral("下一步：查看如何开启键盘读取（input 组）"));
    EXPECT_FALSE(button("enterButton").isEnabled());
    EXPECT_TRUE(shown("bypassButton"));
}

TEST_F(OnboardingTest, PermissionButtonsStandAtTheTopOfTheirRow) {
    doubles.probe->setMicrophone(MicrophoneAuthorizationStatus::notDetermined);
    doubles.probe->setTrusted(false);
    doubles.probe->setListenEventAccess(false);
    // The automatic request on appearance stays unanswered meanwhile.
    doubles.probe->answerMicrophoneRequestsWith(std::nullopt);
    makeView().show();
    settle();
    // Rows are aligned to the top inside their padding of 18.
    for (PermissionKind kind : allPermissionKinds) {
        QWidget &permission = row(kind);
        const QList<QPushButton *> buttons = permission.findChildren<QPushButton *>();
        ASSERT_FALSE(buttons.isEmpty());
        ASSERT_GT(permission.height() - 2 * 18, buttons.first()->height() + 4)
            << "the text is taller than the buttons";
        for (QPushButton *button : buttons)
            EXPECT_EQ(button->mapTo(&permission, QPoint(0, 0)).y(), 18)
                << rawValue(kind).toStdString();
    }
    ASSERT_TRUE(doubles.probe->answerMicrophoneRequest(false));
    waitUntil([&] { return !permissions->isGuidedRequestInProgress(); },
              "the guided requests to finish");
}

TEST_F(OnboardingTest, TheFirstAppearanceAsksOncePerProcess) {
    doubles.probe->setMicrophone(MicrophoneAuthorizationStatus::notDetermined);
    doubles.probe->setListenEventAccess(false);
    doubles.probe->answerMicrophoneRequestsWith(std::nullopt);
    makeView();
    EXPECT_TRUE(doubles.probe->requests().isEmpty()) << "nothing before it appears";
    view->show();
    settle();
    EXPECT_EQ(doubles.probe->requests(), QStringList{QStringLiteral("microphone")});
    EXPECT_TRUE(permissions->isGuidedRequestInProgress());

    // While the guided requests run, only they are held back.
    EXPECT_FALSE(button("primaryGuidedButton").isEnabled());
    EXPECT_FALSE(button("requestRequiredButton").isEnabled());
    EXPECT_TRUE(button("recheckButton").isEnabled());
    EXPECT_TRUE(button("bypassButton").isEnabled());
    for (QPushButton *rowButton : row(PermissionKind::microphone).findChildren<QPushButton *>())
        EXPECT_TRUE(rowButton->isEnabled()) << rowButton->text().toStdString();

    ASSERT_TRUE(doubles.probe->answerMicrophoneRequest(true));
    waitUntil([&] { return !permissions->isGuidedRequestInProgress(); },
              "the guided requests to finish");
    EXPECT_EQ(doubles.probe->requests(),
              (QStringList{QStringLiteral("microphone"), QStringLiteral("listen"),
                           QStringLiteral("trust-prompt")}));
    EXPECT_EQ(rowBadge(PermissionKind::microphone).title(), QStringLiteral("已授权"));
    EXPECT_EQ(button("primaryGuidedButton").text(),
              QStringLiteral("下一步：查看如何开启键盘读取（input 组）"));
    EXPECT_TRUE(button("primaryGuidedButton").isEnabled());

    // Showing the onboarding again in this process asks nothing.
    doubles.probe->clearRequests();
    view.reset();
    makeView().show();
    settle();
    EXPECT_TRUE(doubles.probe->requests().isEmpty());
}

TEST_F(OnboardingTest, TheGuidedStepWorksOnTheFirstMissingPermission) {
    doubles.probe->setMicrophone(MicrophoneAuthorizationStatus::notDetermined);
    doubles.probe->setListenEventAccess(false);
    doubles.probe->answerMicrophoneRequestsWith(std::nullopt);
    makeView();

    button("primaryGuidedButton").click();
    EXPECT_TRUE(view->isHandlingPrimaryAction());
    EXPECT_FALSE(button("primaryGuidedButton").isEnabled());
    settle();
    ASSERT_EQ(doubles.probe->pendingMicrophoneRequests(), 1);
    ASSERT_TRUE(doubles.probe->answerMicrophoneRequest(false));
    waitUntil([&] { return !view->isHandlingPrimaryAction(); }, "the guided step to finish");
    ASSERT_EQ(doubles.opener->opened().size(), 1);
    EXPECT_TRUE(doubles.opener->opened().first().toString().endsWith(u"Privacy_Microphone"));
    EXPECT_EQ(rowBadge(PermissionKind::microphone).title(), QStringLiteral("已拒绝"));
    EXPECT_EQ(button("primaryGuidedButton").text(),
              QStringLiteral("下一步：打开声音设置，选择输入设备"));

    // The input group has no page to open: the step brings its row, with
    // the steps and the command, into view. Nothing is requested.
    doubles.probe->setMicrophone(MicrophoneAuthorizationStatus::authorized);
    permissions->refreshStates();
    view->resize(760, 300);
    view->show();
    // Showing it asks for everything once, ending with accessibility.
    waitUntil(
        [&] {
            return doubles.probe->requests().contains(QStringLiteral("trust-prompt")) &&
                   !permissions->isGuidedRequestInProgress();
        },
        "the requests on appearance to finish");
    doubles.probe->clearRequests();
    ASSERT_EQ(view->verticalScrollBar()->value(), 0);
    button("primaryGuidedButton").click();
    settle();
    EXPECT_FALSE(view->isHandlingPrimaryAction());
    EXPECT_GT(view->verticalScrollBar()->value(), 0) << "scrolled to the row";
    EXPECT_EQ(doubles.opener->opened().size(), 1);
    EXPECT_TRUE(doubles.probe->requests().isEmpty());

    // Accessibility is switched on from here, no page opened.
    doubles.probe->setListenEventAccess(true);
    doubles.probe->setTrusted(false);
    permissions->refreshStates();
    EXPECT_EQ(button("primaryGuidedButton").text(),
              QStringLiteral("下一步：开启辅助技术支持（AT-SPI）"));
    // What switching the accessibility bus on does.
    doubles.probe->setTrusted(true);
    button("primaryGuidedButton").click();
    waitUntil([&] { return !view->isHandlingPrimaryAction(); }, "the guided step to finish");
    EXPECT_EQ(doubles.probe->requests(), QStringList{QStringLiteral("trust-prompt")});
    EXPECT_EQ(doubles.opener->opened().size(), 1);
    EXPECT_EQ(rowBadge(PermissionKind::accessibility).title(), QStringLiteral("已授权"));
    EXPECT_FALSE(shown("primaryGuidedButton"));
}

TEST_F(OnboardingTest, TheWaysIntoTheApplication) {
    doubles.probe->setTrusted(false);
    makeView();
    EXPECT_TRUE(launch->shouldShowPermissionsOnboarding());
    button("enterButton").click();
    EXPECT_TRUE(launch->shouldShowPermissionsOnboarding()) << "disabled while one is missing";

    // Granting the last permission and checking again opens the way in.
    doubles.probe->setTrusted(true);
    button("recheckButton").click();
    EXPECT_EQ(textOf<TovalitTextLabel>(*view, QStringLiteral("progressCount")),
              QStringLiteral("3/3"));
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());
    EXPECT_TRUE(store->hasCompletedPermissionsOnboarding());

    // Going on anyway leaves the onboarding for this run only.
    doubles.probe->setTrusted(false);
    permissions->refreshStates();
    ASSERT_TRUE(launch->shouldShowPermissionsOnboarding());
    button("bypassButton").click();
    EXPECT_FALSE(launch->shouldShowPermissionsOnboarding());
}

TEST_F(OnboardingTest, AtTheWindowsSizeTheLastRowAndTheActionsScrollIntoView) {
    doubles.probe->setListenEventAccess(false);
    makeView();
    view->resize(1080, 700);
    view->show();
    settle();
    QScrollBar *bar = view->verticalScrollBar();
    EXPECT_EQ(bar->value(), 0) << "the page opens at its top";
    // After the states arrive the rows change height; the page must make room
    // for them rather than clip the last card.
    permissions->refreshStates();
    settle();
    QWidget *rows = child("permissionRows");
    for (PermissionKind kind : allPermissionKinds) {
        const QRect inRows = row(kind).geometry();
        EXPECT_LE(inRows.bottom(), rows->height() - 1) << rawValue(kind).toStdString();
    }
    bar->setValue(bar->maximum());
    settle();
    QWidget &enter = button("enterButton");
    const QPoint bottomInViewport = enter.mapTo(view->viewport(), QPoint(0, enter.height()));
    EXPECT_LE(bottomInViewport.y(), view->viewport()->height());
    EXPECT_GE(bottomInViewport.y(), 0);
}

// In a Wayland session the accessibility step also asks for the keyboard
// the desktop lends, which the way into the application does not wait for.
TEST_F(OnboardingTest, InAWaylandSessionTheAccessibilityStepAsksForTheDesktopsKeyboard) {
    auto keyboard = std::make_shared<RecordingRemoteDesktopKeyboard>();
    keyboard->holdAnswers(true);
    ManualSleeper limits;
    makeObjects();
    PermissionCoordinator::Dependencies d = doubles.permissionDependencies(&activity);
    d.remoteDesktopKeyboard = keyboard;
    d.sleeper = limits.sleeper();
    const QList<PermissionKind> kinds{PermissionKind::microphone, PermissionKind::inputMonitoring,
                                      PermissionKind::accessibility};
    permissions = std::make_unique<PermissionCoordinator>(*store, kinds, d);
    makeView();
    const auto badge = [&] {
        return row(PermissionKind::accessibility)
            .findChild<TovalitBadge *>(QStringLiteral("remoteDesktopKeyboardBadge"))
            ->title();
    };
    EXPECT_EQ(badge(), QStringLiteral("待授权"));
    // Asking for everything does not ask the desktop: its window would take
    // the keyboard focus with nobody expecting it.
    runTask(permissions->requestRequiredPermissions());
    EXPECT_TRUE(keyboard->openings().isEmpty());
    EXPECT_EQ(rowButtons(PermissionKind::accessibility), QStringList{QStringLiteral("请求授权")});
    EXPECT_TRUE(rowText(PermissionKind::accessibility).contains(u"原生 Wayland 窗口"));
    EXPECT_TRUE(rowButtons(PermissionKind::microphone).isEmpty());
    EXPECT_TRUE(button("enterButton").isEnabled());

    buttonTitled(row(PermissionKind::accessibility), QStringLiteral("请求授权"))->click();
    EXPECT_EQ(keyboard->pendingOpenings(), 1);
    EXPECT_EQ(badge(), QStringLiteral("等待确认"));
    EXPECT_TRUE(rowButtons(PermissionKind::accessibility).isEmpty());
    keyboard->answerWith(RemoteDesktopKeyboardError::Kind::refused);
    keyboard->releaseAnswers();
    ASSERT_TRUE(waitUntil([&] { return badge() == QStringLiteral("已拒绝"); }, "the refusal"));
    EXPECT_EQ(rowButtons(PermissionKind::accessibility), QStringList{QStringLiteral("重新请求")});
    EXPECT_TRUE(button("enterButton").isEnabled());

    // A desktop that lends no keyboard is said so, with nothing to press.
    keyboard->setVersion(0);
    view.reset();
    launch.reset();
    permissions = std::make_unique<PermissionCoordinator>(*store, kinds, d);
    makeView();
    ASSERT_TRUE(waitUntil([&] { return badge() == QStringLiteral("不可用"); }, "the answer"));
    EXPECT_TRUE(rowText(PermissionKind::accessibility).contains(u"没有提供远程桌面门户"));
    EXPECT_TRUE(rowButtons(PermissionKind::accessibility).isEmpty());
}

} // namespace
} // namespace tovalit::testing
