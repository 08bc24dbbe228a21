// Tovalit in a Wayland session with no X server to run its windows on.

#include "tests/support/application_process.h"
#include "tests/support/scoped_environment_variable.h"
#include "tests/support/temporary_user_folders.h"
#include "tests/support/test_session.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

class PlatformChoiceTest : public testing::WithTemporaryUserFolders {};

// On Qt's Wayland platform the floating panel takes the focus from the
// window dictated into, and the text does not reach it: Tovalit says why,
// and ends, instead of running like that.
TEST_F(PlatformChoiceTest, WithoutAnXServerTovalitSaysWhyAndEnds) {
    TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"),
                                "needs the Wayland session of scripts/test");
    const testing::ScopedEnvironmentVariable noXServer("DISPLAY", std::nullopt);
    const testing::ApplicationLaunch launch = testing::launchApplication({});
    ASSERT_TRUE(launch.ended) << "it runs without an X server";
    EXPECT_EQ(launch.exitCode, 1);
    EXPECT_TRUE(launch.errors.contains(QStringLiteral("XWayland"))) << launch.errors.toStdString();
}

} // namespace
} // namespace tovalit
