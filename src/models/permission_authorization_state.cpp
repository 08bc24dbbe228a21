#include "models/permission_authorization_state.h"

#include <array>

namespace tovalit {

QString rawValue(PermissionAuthorizationState state) {
    switch (state) {
    case PermissionAuthorizationState::notDetermined:
        return QStringLiteral("notDetermined");
    case PermissionAuthorizationState::granted:
        return QStringLiteral("granted");
    case PermissionAuthorizationState::denied:
        return QStringLiteral("denied");
    case PermissionAuthorizationState::needsManualEnable:
        return QStringLiteral("needsManualEnable");
    }
    return {};
}

std::optional<PermissionAuthorizationState>
permissionAuthorizationStateFromRawValue(QStringView raw) {
    static constexpr std::array states{
        PermissionAuthorizationState::notDetermined, PermissionAuthorizationState::granted,
        PermissionAuthorizationState::denied, PermissionAuthorizationState::needsManualEnable};
    for (const auto state : states) {
        if (raw == rawValue(state))
            return state;
    }
    return std::nullopt;
}

QString badgeLabel(PermissionAuthorizationState state) {
    switch (state) {
    case PermissionAuthorizationState::notDetermined:
        return QStringLiteral("检查中");
    case PermissionAuthorizationState::granted:
        return QStringLiteral("已授权");
    case PermissionAuthorizationState::denied:
        return QStringLiteral("已拒绝");
    case PermissionAuthorizationState::needsManualEnable:
        return QStringLiteral("需手动开启");
    }
    return {};
}

bool isGranted(PermissionAuthorizationState state) {
    return state == PermissionAuthorizationState::granted;
}

} // namespace tovalit
