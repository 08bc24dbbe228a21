#pragma once

#include "models/permission_authorization_state.h"
#include "views/design/tovalit_badge_tone.h"

namespace tovalit {

// The tone of a permission's status badge: granted reads as success, a
// refusal or a missing switch as a warning (never as a danger), and a
// question not yet asked as neutral.
TovalitBadgeTone badgeTone(PermissionAuthorizationState state);

} // namespace tovalit
