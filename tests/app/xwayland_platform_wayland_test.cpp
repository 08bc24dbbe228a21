// Tovalit in a Wayland session: its windows go through XWayland, where the
// floating panels can place themselves, even with Qt's Wayland plugin
// installed.

#include "tests/support/application_process.h"
#include "tests/support/temporary_user_folders.h"
#include "tests/support/test_session.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::ApplicationProcess;

class XWaylandPlatformTest : public testing::WithTemporaryUserFolders {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                                        !qEnvironmentVariableIsEmpty("DISPLAY"),
                                    "needs the Wayland session of scripts/test");
    }
};

TEST_F(XWaylandPlatformTest, TheMainWindowIsAnXWaylandWindow) {
    // Started as a desktop starts it, with no platform chosen.
    auto application = ApplicationProcess::start(testing::builtApplicationPath());
    ASSERT_TRUE(application);
    EXPECT_NE(application->waitForMainWindow(), 0u) << "no main window on the X server";
}

} // namespace
} // namespace tovalit
