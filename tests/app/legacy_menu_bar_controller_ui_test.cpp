#include "app/legacy_menu_bar_controller.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

QStringList titles(const QMenu &menu) {
    QStringList result;
    for (QAction *action : menu.actions())
        result << (action->isSeparator() ? QStringLiteral("---") : action->text());
    return result;
}

TEST(LegacyMenuBarControllerTest, TheMenuHasItsFourItemsOnce) {
    LegacyMenuBarController controller;
    EXPECT_EQ(controller.statusItem(), nullptr);
    controller.startIfNeeded();
    QSystemTrayIcon *item = controller.statusItem();
    ASSERT_NE(item, nullptr);
    controller.startIfNeeded();
    EXPECT_EQ(controller.statusItem(), item) << "a second start installs nothing";

    ASSERT_NE(controller.menu(), nullptr);
    EXPECT_EQ(item->contextMenu(), controller.menu());
    EXPECT_EQ(titles(*controller.menu()),
              (QStringList{QStringLiteral("打开 Tovalit"), QStringLiteral("开始录音"),
                           QStringLiteral("---"), QStringLiteral("退出")}));
    EXPECT_EQ(controller.menu()->actions().at(3)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(item->toolTip(), QStringLiteral("Tovalit"));
    EXPECT_EQ(controller.statusSymbolName(), QStringLiteral("mic.circle"));
    EXPECT_FALSE(item->icon().isNull());
}

TEST(LegacyMenuBarControllerTest, TheToggleItemFollowsTheRecordingState) {
    LegacyMenuBarController controller;
    controller.update(RecordingState::recording(), true);
    EXPECT_EQ(controller.statusSymbolName(), QString()) << "nothing without a status item";

    controller.startIfNeeded();
    QAction *toggle = controller.toggleRecordingItem();
    ASSERT_NE(toggle, nullptr);
    struct Row {
        RecordingState state;
        bool canToggle;
        QString symbol;
        QString title;
        bool enabled;
    };
    const QList<Row> rows{
        {RecordingState::recording(), true, QStringLiteral("waveform.circle.fill"),
         QStringLiteral("停止录音"), true},
        {RecordingState::thinking(), true, QStringLiteral("sparkles.rectangle.stack.fill"),
         QStringLiteral("处理中…"), false},
        {RecordingState::inserting(), true, QStringLiteral("sparkles.rectangle.stack.fill"),
         QStringLiteral("处理中…"), false},
        {RecordingState::idle(), false, QStringLiteral("mic.circle"), QStringLiteral("开始录音"),
         false},
        {RecordingState::requestingPermission(), true, QStringLiteral("mic.circle"),
         QStringLiteral("开始录音"), true},
        {RecordingState::failed(QStringLiteral("麦克风不可用")), true, QStringLiteral("mic.circle"),
         QStringLiteral("开始录音"), true},
    };
    for (const Row &row : rows) {
        controller.update(row.state, row.canToggle);
        EXPECT_EQ(controller.statusSymbolName(), row.symbol) << describe(row.state).toStdString();
        EXPECT_EQ(toggle->text(), row.title) << describe(row.state).toStdString();
        EXPECT_EQ(toggle->isEnabled(), row.enabled) << describe(row.state).toStdString();
    }
}

TEST(LegacyMenuBarControllerTest, ActionsGoThroughTheCallbacksOfTheMoment) {
    LegacyMenuBarController controller;
    int opened = 0;
    int toggled = 0;
    controller.handleOpenMainWindow();
    controller.handleToggleRecording();

    controller.onOpenMainWindow = [&] { ++opened; };
    controller.onToggleRecording = [&] { ++toggled; };
    controller.handleToggleRecording();
    EXPECT_EQ(toggled, 1) << "without a rule the toggle goes through";

    bool allowed = false;
    controller.canToggleRecording = [&] { return allowed; };
    controller.startIfNeeded();
    controller.update(RecordingState::idle(), true);
    ASSERT_TRUE(controller.toggleRecordingItem()->isEnabled());
    controller.handleToggleRecording();
    EXPECT_EQ(toggled, 1) << "the rule answers no, whatever the item shows";
    allowed = true;
    controller.toggleRecordingItem()->trigger();
    EXPECT_EQ(toggled, 2);
    controller.openMainWindowItem()->trigger();
    EXPECT_EQ(opened, 1);
}

TEST(LegacyMenuBarControllerTest, TerminationTakesTheStatusItemDownForGood) {
    LegacyMenuBarController controller;
    int toggled = 0;
    controller.onToggleRecording = [&] { ++toggled; };
    controller.startIfNeeded();
    controller.removeStatusItem();
    EXPECT_EQ(controller.statusItem(), nullptr);
    EXPECT_EQ(controller.menu(), nullptr);
    EXPECT_EQ(controller.toggleRecordingItem(), nullptr);
    controller.update(RecordingState::recording(), true);
    EXPECT_EQ(controller.statusSymbolName(), QString());
    controller.handleToggleRecording();
    EXPECT_EQ(toggled, 1) << "the callbacks stay";
    controller.removeStatusItem();

    // A later start builds a fresh menu that reads "开始录音" again.
    controller.startIfNeeded();
    EXPECT_EQ(controller.toggleRecordingItem()->text(), QStringLiteral("开始录音"));
}

} // namespace
} // namespace tovalit
