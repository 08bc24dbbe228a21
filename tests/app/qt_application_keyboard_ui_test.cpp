#include "app/qt_application_keyboard.h"
#include "platform/fake/fake_function_key_source.h"
#include "services/shortcuts/shortcut_recorder_service.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

class QtApplicationKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto *layout = new QVBoxLayout(&window);
        field = new QLineEdit(&window);
        layout->addWidget(field);
        auto *action = new QAction(&window);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
        QObject::connect(action, &QAction::triggered, [this] { ++actionTriggers; });
        window.addAction(action);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        field->setFocus();
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window.windowHandle(), key, modifiers);
        QCoreApplication::processEvents();
    }

    QWidget window;
    QLineEdit *field = nullptr;
    int actionTriggers = 0;
    std::shared_ptr<FakeFunctionKeySource> functionKeys = std::make_shared<FakeFunctionKeySource>();
    std::shared_ptr<QtApplicationKeyboard> keyboard = std::make_shared<QtApplicationKeyboard>(
        [this] { return std::shared_ptr<FunctionKeySource>(functionKeys); });
    ShortcutRecorderService recorder{keyboard};
    QList<ShortcutConfiguration> captured;
};

TEST_F(QtApplicationKeyboardTest, RecordedKeysNeverReachTheFocusedFieldOrItsShortcuts) {
    press(Qt::Key_A);
    EXPECT_EQ(field->text(), QStringLiteral("a")) << "outside a capture keys go through";
    EXPECT_FALSE(functionKeys->isRunning());

    recorder.beginRecording([this](const ShortcutConfiguration &c) { captured.append(c); });
    EXPECT_TRUE(functionKeys->isRunning()) << "Fn is watched while recording";
    press(Qt::Key_K);
    EXPECT_EQ(recorder.helperText(), QStringLiteral("请至少包含一个修饰键；按 Esc 取消"));
    press(Qt::Key_K, Qt::AltModifier | Qt::MetaModifier);
    ASSERT_EQ(captured.size(), 1);
    EXPECT_EQ(captured[0].keyCode, quint16(40));
    EXPECT_EQ(captured[0].modifiersRawValue, ModifierFlag::option | ModifierFlag::command);
    EXPECT_EQ(captured[0].displayName(), QStringLiteral("Alt+Super+K"));
    EXPECT_EQ(field->text(), QStringLiteral("a")) << "neither K reached the field";
    EXPECT_FALSE(functionKeys->isRunning());

    recorder.beginRecording([this](const ShortcutConfiguration &c) { captured.append(c); });
    press(Qt::Key_K, Qt::ControlModifier);
    ASSERT_EQ(captured.size(), 2);
    EXPECT_EQ(captured[1].displayName(), QStringLiteral("Ctrl+K"));
    EXPECT_EQ(actionTriggers, 0) << "the window's own Ctrl+K did not run";
    press(Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(actionTriggers, 1) << "and runs again once recording ended";

    recorder.beginRecording([this](const ShortcutConfiguration &c) { captured.append(c); });
    press(Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(captured.size(), 3);
    EXPECT_EQ(captured[2].displayName(), QStringLiteral("Ctrl+Shift+Space"));
    recorder.beginRecording([this](const ShortcutConfiguration &c) { captured.append(c); });
    press(Qt::Key_Escape);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(captured.size(), 3);
}

TEST_F(QtApplicationKeyboardTest, TheFnKeyIsCapturedFromTheKeyboardTapWhileTheWindowIsActive) {
    recorder.beginRecording([this](const ShortcutConfiguration &c) { captured.append(c); });
    ASSERT_TRUE(functionKeys->isRunning());
    EXPECT_EQ(functionKeys->lastConfiguration()->options, EventTapOptions::listenOnly);
    functionKeys->functionDown(1.0);
    ASSERT_TRUE(testing::waitUntil([&] { return !captured.isEmpty(); }, "Fn captured"));
    EXPECT_EQ(captured[0], ShortcutConfiguration::functionKey());
    EXPECT_EQ(recorder.helperText(), QStringLiteral("当前快捷键：Fn"));
    EXPECT_FALSE(functionKeys->isRunning());
}

TEST(QtApplicationKeyboardTranslation, KeyEventsBecomeStoredKeyNumbersAndCharacters) {
    const auto translate = [](QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
                              quint32 scanCode = 0, const QString &text = {}) {
        const QKeyEvent event(type, key, modifiers, scanCode, 0, 0, text);
        return QtApplicationKeyboard::translate(event);
    };
    // A real X11 key event: the scan code is the X key code.
    const auto k =
        translate(QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier, 45, QStringLiteral("\x0b"));
    ASSERT_TRUE(k);
    EXPECT_EQ(k->type, LocalKeyEvent::Type::keyDown);
    EXPECT_EQ(k->keyCode, 40);
    EXPECT_EQ(k->modifierFlags, ModifierFlag::control);
    EXPECT_EQ(k->charactersIgnoringModifiers, QStringLiteral("K"));

    const auto f5 = translate(QEvent::KeyPress, Qt::Key_F5, Qt::MetaModifier, 71);
    ASSERT_TRUE(f5);
    EXPECT_EQ(f5->keyCode, 0x60);
    EXPECT_EQ(f5->charactersIgnoringModifiers, QStringLiteral("F5"));

    const auto dead = translate(QEvent::KeyPress, Qt::Key_Dead_Acute, Qt::AltModifier, 48);
    ASSERT_TRUE(dead);
    EXPECT_EQ(dead->charactersIgnoringModifiers, std::nullopt);

    const auto insert = translate(QEvent::KeyPress, Qt::Key_Insert, Qt::ControlModifier, 118);
    ASSERT_TRUE(insert);
    EXPECT_EQ(insert->keyCode, VirtualKeyCode::unknown);
    EXPECT_EQ(insert->charactersIgnoringModifiers, std::nullopt) << "no stored number, no name";

    const auto shiftUp = translate(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier, 50);
    ASSERT_TRUE(shiftUp);
    EXPECT_EQ(shiftUp->type, LocalKeyEvent::Type::flagsChanged);
    EXPECT_EQ(shiftUp->keyCode, VirtualKeyCode::shift);
    EXPECT_EQ(translate(QEvent::KeyRelease, Qt::Key_K, Qt::NoModifier, 45), std::nullopt)
        << "releases of other keys are not monitored";
}

} // namespace
} // namespace tovalit
