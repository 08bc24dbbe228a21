#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tovalit {

// The three privacy permissions the application needs, in onboarding order.
enum class PermissionKind { microphone, inputMonitoring, accessibility };

inline constexpr std::array<PermissionKind, 3> allPermissionKinds{
    PermissionKind::microphone, PermissionKind::inputMonitoring, PermissionKind::accessibility};

// "microphone", "inputMonitoring", "accessibility"; also the kind's id.
QString rawValue(PermissionKind kind);
// Exact, case-sensitive match; nothing for any other text.
std::optional<PermissionKind> permissionKindFromRawValue(QStringView raw);
// Short row heading ("麦克风" …).
QString title(PermissionKind kind);
// The one-line reason shown under the heading.
QString summary(PermissionKind kind);
// Whether the application needs the kind with the shortcut it has:
// reading the keyboard devices serves the bare Fn key only, since a key
// combination is grabbed through the display server.
bool isNeeded(PermissionKind kind, bool shortcutIsFunctionKey);
// The deep link to the matching privacy pane of the system settings.
QString settingsURLString(PermissionKind kind);

} // namespace tovalit
