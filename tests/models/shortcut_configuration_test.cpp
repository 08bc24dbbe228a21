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
    EXPECT_EQ(stored->displayName(), QStringLiteral("⌥⌘K"));
    EXPECT_EQ(stored->carbonModifiers(), 0x900u);
    EXPECT_EQ(
        stored->toJson(),
        QByteArray(
            R"({"kind":"keyboardShortcut","keyCode":40,"modifiersRawValue":1572864,"keyDisplay":"K"})"));

    const quint64 all = ModifierFlag::command | ModifierFlag::shift | ModifierFlag::option |
                        ModifierFlag::control | ModifierFlag::function;
    const auto everything = ShortcutConfiguration::custom(49, all, QStringLiteral("Space"));
    EXPECT_EQ(everything.modifiersRawValue, 0x1E0000u) << "the Fn flag is dropped";
    EXPECT_EQ(everything.displayName(), QStringLiteral("^⌥⇧⌘Space"));
    EXPECT_EQ(everything.carbonModifiers(), 0x1B00u);
    EXPECT_EQ(
        ShortcutConfiguration::sanitizedModifiers(ModifierFlag::function | ModifierFlag::command),
        ModifierFlag::command);
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
