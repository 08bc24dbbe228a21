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

const QString listeningText =
    QStringLiteral("Fn 已开始监听（Linux 无法拦截 Fn，当前应用也会收到这次按键）");
const QString functionKeyCaption = QStringLiteral(
    "Linux 桌面不会给 Fn 键分配系统操作，无需额外设置。Tovalit 只能监听 Fn、不能拦截，"
    "当前应用也会收到这次按键。很多键盘的 Fn 由硬件处理、不会上报，这时请录制一个组合快捷键。");

LocalKeyEvent keyDown(quint16 keyCode, quint64 flags, std::optional<QString> characters) {
    return {LocalKeyEvent::Type::keyDown, keyCode, flags, std::move(characters)};
}

class ShortcutCardTest : public WindowPagesTest {
protected:
    ShortcutSettingsView &
    makeCard(ShortcutActivationState state =
                 ShortcutActivationState::degraded(QStringLiteral("正在检查快捷键和键盘读取")),
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
        return !card->findChild<QWidget *>(QStringLiteral("functionKeySystemMessage"))->isHidden();
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
    const QString noDevices = QStringLiteral("Fn 需要读取键盘设备：请把当前用户加入 input 组");
    view.setActivationState(ShortcutActivationState::failed(noDevices));
    EXPECT_EQ(activationText(), noDevices);
    EXPECT_EQ(activationSymbol().symbolName(), QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(activationSymbol().color(), TovalitPalette::orange());

    // …otherwise the system's Fn action, read afresh, decides.
    view.setActivationState(ShortcutActivationState::ready(QStringLiteral("Fn 已就绪")));
    EXPECT_EQ(activationText(), listeningText) << "Linux's Fn key does nothing by default";
    EXPECT_EQ(activationSymbol().color(), TovalitPalette::brandStrong());
    setSystemFunctionKeyBehavior(2);
    view.setActivationState(ShortcutActivationState::ready(QStringLiteral("Fn 已就绪")));
    EXPECT_EQ(activationText(), listeningText);
    EXPECT_EQ(activationSymbol().color(), TovalitPalette::orange());
    EXPECT_EQ(view.effectiveActivationState().kind, ShortcutActivationState::Case::degraded);
}

TEST_F(ShortcutCardTest, FnGetsOneCaptionAndNoSystemSettingToChange) {
    // Whatever the settings file holds for the Fn key's own action, and
    // even when it cannot be read, the card says the same true thing.
    auto runner = std::make_shared<ScriptedCommandRunner>();
    auto opener = std::make_shared<FakeSystemSettingsOpener>();
    auto settings = std::make_shared<FunctionKeySystemSettings>(runner, opener);
    runner->enqueueFailure(1, "The domain/default pair does not exist");
    ShortcutSettingsView &view = makeCard(ShortcutActivationState::degraded(QString()), settings);
    EXPECT_EQ(view.functionKeySystemMessage(), functionKeyCaption);
    EXPECT_EQ(textOf<TovalitTextLabel>(view, QStringLiteral("functionKeySystemMessage")),
              functionKeyCaption);
    EXPECT_TRUE(conflictSectionShown());
    EXPECT_EQ(buttonTitles(view),
              (QStringList{QStringLiteral("恢复默认 Fn"), QStringLiteral("录制新快捷键")}))
        << "nothing offers to write a system setting Linux does not have";
    for (const auto &call : runner->calls())
        EXPECT_FALSE(call.arguments.contains(QStringLiteral("write")));
    EXPECT_TRUE(opener->opened().isEmpty());
}

} // namespace
} // namespace tovalit::testing
