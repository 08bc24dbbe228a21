#include "views/permissions/permission_badge_tone.h"

namespace tovalit {

TovalitBadgeTone badgeTone(PermissionAuthorizationState state) {
    switch (state) {
    case PermissionAuthorizationState::notDetermined:
        return TovalitBadgeTone::neutral;
    case PermissionAuthorizationState::granted:
        return TovalitBadgeTone::success;
    case PermissionAuthorizationState::denied:
    case PermissionAuthorizationState::needsManualEnable:
        return TovalitBadgeTone::warning;
    }
    return TovalitBadgeTone::neutral;
}

} // namespace tovalit
