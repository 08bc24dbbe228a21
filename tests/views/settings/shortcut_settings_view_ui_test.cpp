#include "platform/fake/scripted_command_runner.h"
#include "services/shortcuts/shortcut_recorder_service.h"
#include "tests/views/window_pages_fixture.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/settings/shortcut_settings_view.h"

#include <QPushButton>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

const QString readyText =
    QStringLiteral("Fn 已系统级监听；系统 Globe 键已显式设为“不执行任何操作”");
const QString degradedText =
    QStringLiteral("Fn 已系统级监听，但系统 Globe 行为仍开启。应用会优先拦截；若仍有冲突，"
                   "建议同时关闭系统 Globe 行为");

LocalKeyEvent keyDown(quint16 keyCode, quint64 flags, std::optional<QString> characters) {
    return {LocalKeyEvent::Type::keyDown, keyCode, flags, std::move(characters)};
}

class ShortcutCardTest : public WindowPagesTest {
protected:
    ShortcutSettingsView &
    makeCard(ShortcutActivationState state =
                 ShortcutActivationState::degraded(QStringLiteral("正在检查快捷键和输入监控权限")),
             std::shared_ptr<FunctionKeySystemSettings> settings = nullptr) {
        makeObjects();
        ShortcutSettingsView::Dependencies d = doubles.clientWindowDependencies().shortcutSettings;
        if (settings)
            d.functionKeySystemSettings = std::move(settings);
        card = std::make_unique<ShortcutSettingsView>(*store, std::move(state), d);
        card->resize(700, card->sizeHint().height());
        card->show();
        return *card;
    }
    // The system's own Fn action, as the defaults tool would report it.
    void setSystemFunctionKeyBehavior(int value) {
        doubles.functionKeyDefaults->setString(
            QString::fromLatin1(DefaultsCommandStandIn::storageKey), QString::number(value));
    }
    QPushButton &button(const char *name) {
        return *card->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    QString helper() {
        return textOf<TovalitTextLabel>(*card, QStringLiteral("recorderHelperText"));
    }
    bool helperShown() {
        return !card->findChild<QWidget *>(QStringLiteral("recorderHelperText"))->isHidden();
    }
    TovalitSymbolView &activationSymbol() {
        return *card->findChild<TovalitSymbolView *>(QStringLiteral("activationSymbol"));
    }
    QString activationText() {
        return textOf<TovalitTextLabel>(*card, QStringLiteral("activationText"));
    }
    bool conflictSectionShown() {
        return !card->findChild<QWidget *>(QStringLiteral("functionKeyConflictSection"))
                    ->isHidden();
    }

    ~ShortcutCardTest() override { card.reset(); }

    std::unique_ptr<ShortcutSettingsView> card;
};

TEST_F(ShortcutCardTest, RecordingCapturesCancelsAndRefusesKeysWithoutModifiers) {
    ShortcutSettingsView &view = makeCard();
    EXPECT_EQ(textOf<TovalitTextLabel>(view, QStringLiteral("shortcutDisplay")),
              QStringLiteral("Fn"));
    EXPECT_EQ(button("recordShortcutButton").text(), QStringLiteral("录制新快捷键"));
    EXPECT_FALSE(helperShown());

    button("recordShortcutButton").click();
    EXPECT_EQ(button("recordShortcutButton").text(), QStringLiteral("取消录制"));
    EXPECT_EQ(helper(), QStringLiteral("请按 Fn，或按下一个带修饰键的组合键"));
    EXPECT_TRUE(helperShown());

    // A letter alone is refused with a beep; recording goes on.
    EXPECT_EQ(doubles.keyboard->dispatch(keyDown(0, 0, QStringLiteral("a"))), std::nullopt);
    EXPECT_EQ(helper(), QStringLiteral("请至少包含一个修饰键；按 Esc 取消"));
    EXPECT_EQ(doubles.keyboard->beeps(), 1);
    EXPECT_EQ(button("recordShortcutButton").text(), QStringLiteral("取消录制"));

    // Esc ends it and keeps the shortcut.
    doubles.keyboard->dispatch(keyDown(VirtualKeyCode::escape, 0, std::nullopt));
    EXPECT_FALSE(helperShown());
    EXPECT_EQ(button("recordShortcutButton").text(), QStringLiteral("录制新快捷键"));
    EXPECT_EQ(store->shortcutConfiguration(), ShortcutConfiguration::functionKey());

    // A combination is stored (and saved) and replaces the Fn section.
    EXPECT_TRUE(conflictSectionShown());
    button("recordShortcutButton").click();
    doubles.keyboard->dispatch(
        keyDown(40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("k")));
    const ShortcutConfiguration combination = ShortcutConfiguration::custom(
        40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K"));
    EXPECT_EQ(store->shortcutConfiguration(), combination);
    EXPECT_EQ(AppConfigurationStore::loadShortcutConfiguration(*doubles.defaults), combination);
    EXPECT_EQ(textOf<TovalitTextLabel>(view, QStringLiteral("shortcutDisplay")),
              QStringLiteral("Alt+Super+K"));
    EXPECT_EQ(helper(), QStringLiteral("当前快捷键：Alt+Super+K"));
    EXPECT_FALSE(conflictSectionShown());

    // "取消录制" ends a recording without a change.
    button("recordShortcutButton").click();
    button("recordShortcutButton").click();
    EXPECT_EQ(helper(), QString());
    EXPECT_EQ(doubles.keyboard->monitorCount(), 0);
    EXPECT_EQ(store->shortcutConfiguration(), combination);

    // Fn on its own is captured as the Fn shortcut.
    button("recordShortcutButton").click();
    doubles.keyboard->dispatch({LocalKeyEvent::Type::flagsChanged, VirtualKeyCode::function,
                                ModifierFlag::function, std::nullopt});
    EXPECT_EQ(store->shortcutConfiguration(), ShortcutConfiguration::functionKey());
    EXPECT_EQ(helper(), QStringLiteral("当前快捷键：Fn"));
}

TEST_F(ShortcutCardTest, RestoringFnEndsARecordingAndBringsBackTheFnSection) {
    makeCard();
    store->setShortcutConfiguration(
        ShortcutConfiguration::custom(41, ModifierFlag::control, QStringLiteral("L")));
    EXPECT_FALSE(conflictSectionShown());
    button("recordShortcutButton").click();
    ASSERT_EQ(doubles.keyboard->monitorCount(), 1);

    button("restoreDefaultButton").click();
    EXPECT_EQ(store->shortcutConfiguration(), ShortcutConfiguration::functionKey());
    EXPECT_FALSE(card->recorder().isRecording());
    EXPECT_EQ(doubles.keyboard->monitorCount(), 0);
    EXPECT_FALSE(helperShown());
    EXPECT_EQ(button("recordShortcutButton").text(), QStringLiteral("录制新快捷键"));
    EXPECT_TRUE(conflictSectionShown());

    // A card that goes away while recording leaves no monitor behind.
    button("recordShortcutButton").click();
    card.reset();
    EXPECT_EQ(doubles.keyboard->monitorCount(), 0);
}

TEST_F(ShortcutCardTest, TheActivationRowReadsTheSystemSettingForFnOnly) {
    // A combination shows the controller's state as it is.
    ShortcutSettingsView &view = makeCard(
        ShortcutActivationState::failed(QStringLiteral("Alt+Super+K 注册失败，请换一个快捷键")));
    store->setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K")));
    EXPECT_EQ(activationText(), QStringLiteral("Alt+Super+K 注册失败，请换一个快捷键"));
    view.setActivationState(
        ShortcutActivationState::ready(QStringLiteral("Alt+Super+K 已注册为全局快捷键")));
    EXPECT_EQ(activationText(), QStringLiteral("Alt+Super+K 已注册为全局快捷键"));
    EXPECT_EQ(activationSymbol().symbolName(), QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(activationSymbol().color(), TovalitPalette::brandStrong());

    // For Fn a failure wins over the system setting…
    store->setShortcutConfiguration(ShortcutConfiguration::functionKey());
    view.setActivationState(ShortcutActivationState::failed(
        QStringLiteral("Fn 需要先开启输入监控权限，否则无法接管系统级按键事件")));
    EXPECT_EQ(activationText(),
              QStringLiteral("Fn 需要先开启输入监控权限，否则无法接管系统级按键事件"));
    EXPECT_EQ(activationSymbol().symbolName(), QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(activationSymbol().color(), TovalitPalette::orange());

    // …otherwise the system's Fn action, read afresh, decides.
    view.setActivationState(ShortcutActivationState::ready(QStringLiteral("Fn 已就绪")));
    EXPECT_EQ(activationText(), readyText) << "Linux's Fn key does nothing by default";
    EXPECT_EQ(activationSymbol().color(), TovalitPalette::brandStrong());
    setSystemFunctionKeyBehavior(2);
    view.setActivationState(ShortcutActivationState::ready(QStringLiteral("Fn 已就绪")));
    EXPECT_EQ(activationText(), degradedText);
    EXPECT_EQ(activationSymbol().color(), TovalitPalette::orange());
    EXPECT_EQ(view.effectiveActivationState().kind, ShortcutActivationState::Case::degraded);
}

TEST_F(ShortcutCardTest, TheFnFixWritesTheSystemSettingOrSaysWhyNot) {
    setSystemFunctionKeyBehavior(2);
    ShortcutSettingsView &view = makeCard();
    EXPECT_EQ(view.functionKeySystemMessage(),
              QStringLiteral("当前系统把 Globe/Fn 键用于“显示表情与符号”。应用会优先拦截，"
                             "但这个系统行为仍可能与裸 Fn 录音冲突。"));
    EXPECT_EQ(textOf<TovalitTextLabel>(view, QStringLiteral("functionKeySystemMessage")),
              view.functionKeySystemMessage());
    EXPECT_EQ(activationText(), degradedText);

    button("openKeyboardSettingsButton").click();
    ASSERT_EQ(doubles.keyboardSettingsOpener->opened().size(), 1);
    EXPECT_EQ(doubles.keyboardSettingsOpener->opened().first().toString(),
              QStringLiteral("x-apple.systempreferences:com.apple.preference.keyboard"));

    button("applyFunctionKeyFixButton").click();
    EXPECT_EQ(view.functionKeyActionFeedback(),
              QStringLiteral("已写入系统设置：Globe/Fn → 不执行任何操作。"
                             "若当前仍弹表情面板，请退出登录或重启一次再测。"));
    EXPECT_EQ(textOf<TovalitTextLabel>(view, QStringLiteral("functionKeyActionFeedback")),
              view.functionKeyActionFeedback());
    EXPECT_TRUE(view.functionKeySystemMessage().startsWith(
        QStringLiteral("系统 Globe/Fn 键已显式设为“不执行任何操作”")));
    EXPECT_EQ(activationText(), readyText);
}

TEST_F(ShortcutCardTest, AFailedFixLeavesTheMessageAsItWas) {
    auto runner = std::make_shared<ScriptedCommandRunner>();
    auto settings = std::make_shared<FunctionKeySystemSettings>(
        runner, std::make_shared<FakeSystemSettingsOpener>());
    // Read when shown (nothing readable), then the write fails.
    runner->enqueueFailure(1, "The domain/default pair does not exist");
    ShortcutSettingsView &view = makeCard(ShortcutActivationState::degraded(QString()), settings);
    const QString message = view.functionKeySystemMessage();
    EXPECT_TRUE(message.startsWith(QStringLiteral("当前没有读到显式的 Globe/Fn 系统配置")));
    runner->enqueueFailure(1, "Could not write domain com.apple.HIToolbox");
    button("applyFunctionKeyFixButton").click();
    EXPECT_TRUE(view.functionKeyActionFeedback().startsWith(
        QStringLiteral("自动写入失败：系统设置命令执行失败：")))
        << view.functionKeyActionFeedback().toStdString();
    EXPECT_EQ(view.functionKeySystemMessage(), message);
}

} // namespace
} // namespace tovalit::testing
