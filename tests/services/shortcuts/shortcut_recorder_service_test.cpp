#include "platform/fake/fake_application_keyboard.h"
#include "services/shortcuts/shortcut_recorder_service.h"
#include "tests/support/qt_printers.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

LocalKeyEvent keyDown(quint16 keyCode, quint64 flags, std::optional<QString> characters) {
    return {LocalKeyEvent::Type::keyDown, keyCode, flags, std::move(characters)};
}

LocalKeyEvent flagsChanged(quint16 keyCode, quint64 flags) {
    return {LocalKeyEvent::Type::flagsChanged, keyCode, flags, std::nullopt};
}

const QString prompt = QStringLiteral("请按 Fn，或按下一个带修饰键的组合键");
const QString needsModifier = QStringLiteral("请至少包含一个修饰键；按 Esc 取消");

class ShortcutRecorderServiceTest : public ::testing::Test {
protected:
    void begin() {
        recorder.beginRecording(
            [this](const ShortcutConfiguration &configuration) { captured.append(configuration); });
    }

    std::shared_ptr<FakeApplicationKeyboard> keyboard = std::make_shared<FakeApplicationKeyboard>();
    ShortcutRecorderService recorder{keyboard};
    QList<ShortcutConfiguration> captured;
};

TEST_F(ShortcutRecorderServiceTest, ACombinationIsCapturedAndNeverReachesTheFocusedWidget) {
    const LocalKeyEvent k =
        keyDown(40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("k"));
    EXPECT_EQ(keyboard->dispatch(k), k) << "outside a capture every event passes";
    EXPECT_EQ(keyboard->monitorCount(), 0);

    QSignalSpy recording(&recorder, &ShortcutRecorderService::isRecordingChanged);
    begin();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.helperText(), prompt);
    EXPECT_EQ(keyboard->monitorCount(), 1);

    EXPECT_EQ(keyboard->dispatch(k), std::nullopt);
    ASSERT_EQ(captured.size(), 1);
    EXPECT_EQ(captured[0].kind, ShortcutConfiguration::Kind::keyboardShortcut);
    EXPECT_EQ(captured[0].keyCode, quint16(40));
    EXPECT_EQ(captured[0].modifiersRawValue, 0x180000u);
    EXPECT_EQ(captured[0].keyDisplay, QStringLiteral("K"));
    EXPECT_EQ(recorder.helperText(), QStringLiteral("当前快捷键：Alt+Super+K"));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(keyboard->monitorCount(), 0);
    EXPECT_EQ(recording.count(), 2);

    EXPECT_EQ(keyboard->dispatch(k), k);
    EXPECT_EQ(captured.size(), 1);
}

TEST_F(ShortcutRecorderServiceTest, EscCancelsWhateverTheModifiers) {
    begin();
    EXPECT_EQ(keyboard->dispatch(keyDown(53, ModifierFlag::command, std::nullopt)), std::nullopt);
    EXPECT_TRUE(captured.isEmpty());
    EXPECT_EQ(recorder.helperText(), QString());
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(keyboard->monitorCount(), 0);
}

TEST_F(ShortcutRecorderServiceTest, KeysWithoutAModifierAreRefusedAndRecordingGoesOn) {
    begin();
    EXPECT_EQ(keyboard->dispatch(keyDown(40, 0, QStringLiteral("k"))), std::nullopt);
    EXPECT_EQ(keyboard->beeps(), 1);
    EXPECT_EQ(recorder.helperText(), needsModifier);
    EXPECT_TRUE(recorder.isRecording());

    // Only the Fn flag is no modifier either; a key that types nothing
    // cannot be shown.
    EXPECT_EQ(keyboard->dispatch(keyDown(40, ModifierFlag::function, QStringLiteral("k"))),
              std::nullopt);
    EXPECT_EQ(keyboard->dispatch(keyDown(33, ModifierFlag::command, std::nullopt)), std::nullopt);
    EXPECT_EQ(keyboard->beeps(), 3);

    // Shift alone passes and changes nothing.
    const LocalKeyEvent shift = flagsChanged(VirtualKeyCode::shift, ModifierFlag::shift);
    EXPECT_EQ(keyboard->dispatch(shift), shift);
    EXPECT_EQ(recorder.helperText(), needsModifier);
    EXPECT_TRUE(captured.isEmpty());

    EXPECT_EQ(keyboard->dispatch(keyDown(49, ModifierFlag::control, QStringLiteral(" "))),
              std::nullopt);
    ASSERT_EQ(captured.size(), 1);
    EXPECT_EQ(captured[0].displayName(), QStringLiteral("Ctrl+Space"));
}

TEST_F(ShortcutRecorderServiceTest, TheFnKeysOwnFlagChangeIsCapturedAsFn) {
    begin();
    EXPECT_EQ(keyboard->dispatch(flagsChanged(VirtualKeyCode::function, ModifierFlag::function)),
              std::nullopt);
    ASSERT_EQ(captured.size(), 1);
    EXPECT_EQ(captured[0], ShortcutConfiguration::functionKey());
    EXPECT_EQ(recorder.helperText(), QStringLiteral("当前快捷键：Fn"));
}

TEST_F(ShortcutRecorderServiceTest, BeginningAgainReplacesTheCaptureAndCancelEndsIt) {
    QList<ShortcutConfiguration> first;
    recorder.beginRecording([&first](const ShortcutConfiguration &c) { first.append(c); });
    begin();
    EXPECT_EQ(keyboard->monitorCount(), 1);
    keyboard->dispatch(keyDown(40, ModifierFlag::command, QStringLiteral("k")));
    EXPECT_TRUE(first.isEmpty());
    EXPECT_EQ(captured.size(), 1);

    begin();
    recorder.cancel();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.helperText(), QString());
    EXPECT_EQ(keyboard->monitorCount(), 0);
    recorder.cancel();
    EXPECT_EQ(captured.size(), 1);
}

TEST(ShortcutRecorderServiceLifetime, ARecorderThatGoesAwayLeavesNoMonitorBehind) {
    auto keyboard = std::make_shared<FakeApplicationKeyboard>();
    {
        ShortcutRecorderService recorder(keyboard);
        recorder.beginRecording([](const ShortcutConfiguration &) {});
    }
    EXPECT_EQ(keyboard->monitorCount(), 0);
}

} // namespace
} // namespace tovalit
