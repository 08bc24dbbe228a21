#include "models/shortcut_activation_state.h"
#include "models/shortcut_configuration.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(ShortcutConfiguration, FunctionKeyEncodesWithoutKeyCodeAndRoundTrips) {
    const auto fn = ShortcutConfiguration::functionKey();
    EXPECT_EQ(fn.toJson(),
              QByteArray(R"({"kind":"functionKey","modifiersRawValue":0,"keyDisplay":"Fn"})"));
    EXPECT_EQ(ShortcutConfiguration::fromJson(fn.toJson()), fn);
    EXPECT_EQ(fn.displayName(), QStringLiteral("Fn"));
    EXPECT_TRUE(fn.isFunctionKey());
}

TEST(ShortcutConfiguration, KeyCombinationKeepsDeclaredKeyOrderAndDerivedValues) {
    const auto stored = ShortcutConfiguration::fromJson(
        R"({"kind":"keyboardShortcut","keyCode":40,"modifiersRawValue":1572864,"keyDisplay":"K"})");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->keyCode, quint16(40));
    EXPECT_EQ(stored->displayName(), QStringLiteral("Alt+Super+K"));
    EXPECT_EQ(stored->carbonModifiers(), 0x900u);
    EXPECT_EQ(
        stored->toJson(),
        QByteArray(
            R"({"kind":"keyboardShortcut","keyCode":40,"modifiersRawValue":1572864,"keyDisplay":"K"})"));

    const quint64 all = ModifierFlag::command | ModifierFlag::shift | ModifierFlag::option |
                        ModifierFlag::control | ModifierFlag::function;
    const auto everything = ShortcutConfiguration::custom(49, all, QStringLiteral("Space"));
    EXPECT_EQ(everything.modifiersRawValue, 0x1E0000u) << "the Fn flag is dropped";
    EXPECT_EQ(everything.displayName(), QStringLiteral("Ctrl+Alt+Shift+Super+Space"));
    EXPECT_EQ(everything.carbonModifiers(), 0x1B00u);
    EXPECT_EQ(
        ShortcutConfiguration::sanitizedModifiers(ModifierFlag::function | ModifierFlag::command),
        ModifierFlag::command);
}

TEST(ShortcutConfiguration, StoredShortcutsAreShownTheLinuxWayAndStoredUnchanged) {
    // The key at the stored Delete position is a PC keyboard's Backspace;
    // only the shown name says so.
    const QByteArray backspace =
        R"({"kind":"keyboardShortcut","keyCode":51,"modifiersRawValue":262144,"keyDisplay":"Delete"})";
    const auto stored = ShortcutConfiguration::fromJson(backspace);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->displayName(), QStringLiteral("Ctrl+Backspace"));
    EXPECT_EQ(stored->keyDisplay, QStringLiteral("Delete"));
    EXPECT_EQ(stored->toJson(), backspace);
    EXPECT_EQ(ShortcutConfiguration::keyDisplayFor(
                  {LocalKeyEvent::Type::keyDown, VirtualKeyCode::deleteKey, 0, std::nullopt}),
              QStringLiteral("Delete"))
        << "recorded as before, so new files match old ones";

    // Any other key keeps its captured text, after the modifiers in one order.
    EXPECT_EQ(ShortcutConfiguration::custom(2, ModifierFlag::command | ModifierFlag::shift,
                                            QStringLiteral("D"))
                  .displayName(),
              QStringLiteral("Shift+Super+D"));
    EXPECT_EQ(ShortcutConfiguration::custom(0x75, ModifierFlag::option, QStringLiteral("Del"))
                  .displayName(),
              QStringLiteral("Alt+Del"));
    EXPECT_EQ(ShortcutConfiguration::custom(126, ModifierFlag::control, QStringLiteral("↑"))
                  .displayName(),
              QStringLiteral("Ctrl+↑"));
}

TEST(ShortcutConfiguration, MalformedDataDoesNotDecode) {
    const char *malformed[] = {
        R"({"kind":"fn","modifiersRawValue":0,"keyDisplay":"Fn"})",
        R"({"modifiersRawValue":0,"keyDisplay":"Fn"})",
        R"({"kind":"functionKey","keyDisplay":"Fn"})",
        R"({"kind":"functionKey","modifiersRawValue":0})",
        R"({"kind":"functionKey","modifiersRawValue":-1,"keyDisplay":"Fn"})",
        R"({"kind":"keyboardShortcut","keyCode":70000,"modifiersRawValue":0,"keyDisplay":"K"})",
        R"({"kind":"keyboardShortcut","keyCode":"40","modifiersRawValue":0,"keyDisplay":"K"})",
        R"([1,2])",
        "not json",
        "",
    };
    for (const char *text : malformed)
        EXPECT_FALSE(ShortcutConfiguration::fromJson(text)) << text;

    // A null key code and unknown keys are accepted.
    const auto lenient = ShortcutConfiguration::fromJson(
        R"({"kind":"functionKey","keyCode":null,"modifiersRawValue":0,"keyDisplay":"Fn","extra":1})");
    ASSERT_TRUE(lenient);
    EXPECT_EQ(*lenient, ShortcutConfiguration::functionKey());
}

TEST(ShortcutActivationState, EqualityTakesCaseAndText) {
    EXPECT_EQ(ShortcutActivationState::ready(QStringLiteral("x")),
              ShortcutActivationState::ready(QStringLiteral("x")));
    EXPECT_NE(ShortcutActivationState::ready(QStringLiteral("x")),
              ShortcutActivationState::degraded(QStringLiteral("x")));
    EXPECT_FALSE(ShortcutActivationState::degraded(QStringLiteral("x")).isHealthy());
    EXPECT_FALSE(ShortcutActivationState::failed(QStringLiteral("x")).isHealthy());
}

} // namespace
} // namespace tovalit

namespace tovalit {
namespace {

LocalKeyEvent keyDown(quint16 keyCode, quint64 flags, std::optional<QString> characters) {
    return {LocalKeyEvent::Type::keyDown, keyCode, flags, std::move(characters)};
}

TEST(ShortcutConfiguration, KeysAreShownByNameOrByWhatTheyType) {
    const auto display = [](quint16 keyCode, std::optional<QString> characters) {
        return ShortcutConfiguration::keyDisplayFor(keyDown(keyCode, 0, std::move(characters)));
    };
    EXPECT_EQ(display(49, QStringLiteral(" ")), QStringLiteral("Space")) << "blank characters";
    EXPECT_EQ(display(36, std::nullopt), QStringLiteral("Return"));
    EXPECT_EQ(display(53, std::nullopt), QStringLiteral("Esc"));
    EXPECT_EQ(display(123, std::nullopt), QStringLiteral("←"));
    EXPECT_EQ(display(126, std::nullopt), QStringLiteral("↑"));
    EXPECT_EQ(display(40, QStringLiteral("k")), QStringLiteral("K"));
    EXPECT_EQ(display(14, QStringLiteral("é")), QStringLiteral("É"));
    EXPECT_EQ(display(14, QStringLiteral("e\u0301")), QStringLiteral("E\u0301"))
        << "one character of two code points";
    EXPECT_EQ(display(0x60, QStringLiteral("F5")), QStringLiteral("F5")) << "longer text unchanged";
    EXPECT_EQ(display(33, std::nullopt), std::nullopt) << "a dead key types nothing";
    EXPECT_EQ(display(33, QStringLiteral(" \n")), std::nullopt);
}

TEST(ShortcutConfiguration, CapturedEventsNeedFnOrAModifierWithADisplayableKey) {
    const LocalKeyEvent fnFlags{LocalKeyEvent::Type::flagsChanged, VirtualKeyCode::function,
                                ModifierFlag::function, std::nullopt};
    EXPECT_EQ(ShortcutConfiguration::captured(fnFlags), ShortcutConfiguration::functionKey());
    const LocalKeyEvent shiftFlags{LocalKeyEvent::Type::flagsChanged, VirtualKeyCode::shift,
                                   ModifierFlag::shift, std::nullopt};
    EXPECT_EQ(ShortcutConfiguration::captured(shiftFlags), std::nullopt);

    const auto captured = ShortcutConfiguration::captured(
        keyDown(40, ModifierFlag::option | ModifierFlag::command | ModifierFlag::function,
                QStringLiteral("k")));
    ASSERT_TRUE(captured);
    EXPECT_EQ(*captured,
              ShortcutConfiguration::custom(40, ModifierFlag::option | ModifierFlag::command,
                                            QStringLiteral("K")));
    EXPECT_EQ(captured->modifiersRawValue, 0x180000u) << "Fn is not kept";
    EXPECT_EQ(ShortcutConfiguration::captured(keyDown(40, 0, QStringLiteral("k"))), std::nullopt);
    EXPECT_EQ(
        ShortcutConfiguration::captured(keyDown(40, ModifierFlag::function, QStringLiteral("k"))),
        std::nullopt);
    EXPECT_EQ(ShortcutConfiguration::captured(keyDown(33, ModifierFlag::command, std::nullopt)),
              std::nullopt);
}

} // namespace
} // namespace tovalit
