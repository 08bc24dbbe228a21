#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace tovalit {

// What the system says about one permission. The raw values are what the
// settings cache persists.
enum class PermissionAuthorizationState { notDetermined, granted, denied, needsManualEnable };

// "notDetermined", "granted", "denied", "needsManualEnable".
QString rawValue(PermissionAuthorizationState state);
// Exact, case-sensitive match; nothing for any other text (the empty one
// included). Readers of a cache fall back to notDetermined themselves.
std::optional<PermissionAuthorizationState>
permissionAuthorizationStateFromRawValue(QStringView raw);
// The badge text next to a permission row ("待授权" …).
QString badgeLabel(PermissionAuthorizationState state);
bool isGranted(PermissionAuthorizationState state);

} // namespace tovalit
