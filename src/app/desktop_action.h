#pragma once

#include <QString>

#include <array>
#include <optional>

namespace tovalit {

// The status menu's three items as the desktop offers them where there is
// no tray to show the menu in: actions of the desktop entry (a launcher's
// or dock's menu), started as `tovalit --action <name>` or asked of the
// running process over the desktop's application interface. The names are
// written in the installed desktop entry and in shortcuts users bind to the
// command, so they never change.
enum class DesktopAction { openWindow, toggleRecording, quit };

inline constexpr std::array<DesktopAction, 3> allDesktopActions{
    DesktopAction::openWindow, DesktopAction::toggleRecording, DesktopAction::quit};

// "open-window", "toggle-recording", "quit".
QString desktopActionName(DesktopAction action);
// None for any other name.
std::optional<DesktopAction> desktopActionNamed(const QString &name);

} // namespace tovalit
