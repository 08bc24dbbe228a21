#include "models/recording_state.h"
#include "state/session/recording_hotkey_coordinator.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(RecordingHotkeyCoordinatorTest,
     APressStartsFromRestStopsAnOldEnoughRecordingAndWaitsOtherwise) {
    const RecordingHotkeyCoordinator coordinator;
    struct Case {
        RecordingState state;
        HotkeyAction whenStoppable;
        HotkeyAction whenTooYoung;
    };
    const Case cases[] = {
        {RecordingState::idle(), HotkeyAction::start, HotkeyAction::start},
        {RecordingState::failed(QStringLiteral("麦克风不可用")), HotkeyAction::start,
         HotkeyAction::start},
        {RecordingState::requestingPermission(), HotkeyAction::ignore, HotkeyAction::ignore},
        {RecordingState::recording(), HotkeyAction::stop, HotkeyAction::ignore},
        {RecordingState::thinking(), HotkeyAction::ignore, HotkeyAction::ignore},
        {RecordingState::inserting(), HotkeyAction::ignore, HotkeyAction::ignore},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(describe(c.state).toStdString());
        EXPECT_EQ(coordinator.handleTrigger(c.state, true), c.whenStoppable);
        EXPECT_EQ(coordinator.handleTrigger(c.state, false), c.whenTooYoung);
    }
}

TEST(RecordingStateTest, HintsNameTheShortcutAndAFailureSpeaksForItself) {
    const QString fn = QStringLiteral("Fn");
    EXPECT_EQ(RecordingState::idle().hint(fn), QStringLiteral("按 Fn 开始或停止录音"));
    EXPECT_EQ(RecordingState::recording().hint(QStringLiteral("Alt+Super+K")),
              QStringLiteral("再次按 Alt+Super+K 结束录音，随后会自动帮你把话说顺"));
    EXPECT_EQ(RecordingState::requestingPermission().hint(fn),
              QStringLiteral("正在检查麦克风、键盘读取和辅助技术"));
    EXPECT_EQ(RecordingState::thinking().hint(fn),
              QStringLiteral("正在整理转写内容并准备写回输入框"));
    EXPECT_EQ(RecordingState::inserting().hint(fn),
              QStringLiteral("正在把整理后的文本写入当前焦点输入框"));
    EXPECT_EQ(RecordingState::failed(QStringLiteral("历史记录加载失败：x")).hint(fn),
              QStringLiteral("历史记录加载失败：x"));

    EXPECT_EQ(RecordingState::failed(QStringLiteral("a")),
              RecordingState::failed(QStringLiteral("a")));
    EXPECT_NE(RecordingState::failed(QStringLiteral("a")),
              RecordingState::failed(QStringLiteral("b")));
    EXPECT_NE(RecordingState::failed(QString()), RecordingState::idle());
}

} // namespace
} // namespace tovalit
