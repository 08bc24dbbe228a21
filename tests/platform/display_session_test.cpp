#include "platform/display_session.h"
#include "tests/support/scoped_environment_variable.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::ScopedEnvironmentVariable;

TEST(DisplaySessionTest, AWaylandSessionIsToldByItsTypeOrByItsDisplay) {
    struct Case {
        std::optional<QByteArray> type;
        std::optional<QByteArray> display;
        bool wayland;
    };
    const Case cases[] = {
        {QByteArray("x11"), std::nullopt, false},
        {std::nullopt, std::nullopt, false},
        {QByteArray("wayland"), std::nullopt, true},
        // A compositor started without a session manager sets no type.
        {std::nullopt, QByteArray("wayland-0"), true},
        {QByteArray("tty"), QByteArray("wayland-1"), true},
        {QByteArray("x11"), QByteArray(""), false},
    };
    for (const Case &c : cases) {
        ScopedEnvironmentVariable type("XDG_SESSION_TYPE", c.type);
        ScopedEnvironmentVariable display("WAYLAND_DISPLAY", c.display);
        EXPECT_EQ(DisplaySession::fromEnvironment().wayland, c.wayland)
            << c.type.value_or("<unset>").constData() << " / "
            << c.display.value_or("<unset>").constData();
    }
}

TEST(DisplaySessionTest, OnlyAnXWaylandWindowIsKnownToTheXServerInAWaylandSession) {
    const DisplaySession x11{false};
    EXPECT_TRUE(x11.xServerKnowsFocusedWindow(std::nullopt, 42));
    EXPECT_TRUE(x11.xServerKnowsFocusedWindow(7, 42));

    const DisplaySession wayland{true};
    EXPECT_TRUE(wayland.xServerKnowsFocusedWindow(42, 42));
    // The accessibility bus names no application: the X server's word.
    EXPECT_TRUE(wayland.xServerKnowsFocusedWindow(42, std::nullopt));
    EXPECT_FALSE(wayland.xServerKnowsFocusedWindow(std::nullopt, 42));
    EXPECT_FALSE(wayland.xServerKnowsFocusedWindow(std::nullopt, std::nullopt));
    EXPECT_FALSE(wayland.xServerKnowsFocusedWindow(7, 42));
}

} // namespace
} // namespace tovalit
