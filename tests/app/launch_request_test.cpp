#include "app/launch_request.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

std::variant<LaunchRequest, QString> parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("tovalit"));
    return LaunchRequest::fromArguments(arguments);
}

TEST(LaunchRequestTest, TheCommandLineNamesADesktopActionOrNothing) {
    const auto plain = parse({});
    ASSERT_TRUE(std::holds_alternative<LaunchRequest>(plain));
    EXPECT_FALSE(std::get<LaunchRequest>(plain).action);
    EXPECT_FALSE(std::get<LaunchRequest>(plain).activatedByBus);

    for (DesktopAction action : allDesktopActions) {
        const QString name = desktopActionName(action);
        for (const QStringList &arguments : {QStringList{QStringLiteral("--action"), name},
                                             {QStringLiteral("--action=") + name}}) {
            const auto request = parse(arguments);
            ASSERT_TRUE(std::holds_alternative<LaunchRequest>(request)) << name.toStdString();
            EXPECT_EQ(std::get<LaunchRequest>(request).action, action) << name.toStdString();
        }
    }
    const auto activated = parse({QStringLiteral("--dbus-activated")});
    ASSERT_TRUE(std::holds_alternative<LaunchRequest>(activated));
    EXPECT_TRUE(std::get<LaunchRequest>(activated).activatedByBus);
}

TEST(LaunchRequestTest, AnythingElseIsRefusedWithTheReason) {
    const auto unknown = parse({QStringLiteral("--action"), QStringLiteral("Quit")});
    ASSERT_TRUE(std::holds_alternative<QString>(unknown));
    EXPECT_EQ(
        std::get<QString>(unknown),
        QStringLiteral("Unknown action 'Quit' (one of: open-window, toggle-recording, quit)."));
    EXPECT_TRUE(std::holds_alternative<QString>(parse({QStringLiteral("--action")})));
    EXPECT_TRUE(std::holds_alternative<QString>(parse({QStringLiteral("--record")})));
}

} // namespace
} // namespace tovalit
