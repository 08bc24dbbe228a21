#pragma once

#include <chrono>
#include <gtest/gtest.h>

namespace tovalit::testing {

// The window GNOME's desktop portal opens when an application starts a
// remote-desktop session ("Remote desktop", from xdg-desktop-portal-gnome),
// answered through the accessibility bus as a user would: share ticks
// "Allow remote interaction" and presses "Share", so that the session
// gets the keyboard; refuse presses "Cancel". Waits, events running, up
// to `within` for the window; a failure says what the portal showed.
enum class RemoteDesktopAnswer { share, refuse };
::testing::AssertionResult
answerRemoteDesktopConsent(RemoteDesktopAnswer answer,
                           std::chrono::milliseconds within = std::chrono::seconds(15));

} // namespace tovalit::testing
