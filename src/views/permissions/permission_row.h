#pragma once

#include "models/permission_state.h"
#include "views/design/tovalit_glass_surface.h"

namespace tovalit {

class PermissionCoordinator;

// One permission as the onboarding and the settings page list it: its
// name with its state as a badge, what it is for, and the actions that
// can still help: the sound settings for the microphone, the steps into
// the input group with its command to copy, and switching the desktop's
// accessibility support on; in a Wayland session the accessibility row
// also asks for the keyboard the desktop lends. The onboarding draws it
// larger and offers to check the microphone while it was never checked; on
// the settings page the guided flow behind "打开声音设置" does that.
class PermissionRow : public TovalitGlassSurface {
    Q_OBJECT
public:
    enum class Placement { onboarding, settings };

    // The coordinator must outlive the row.
    PermissionRow(const PermissionState &state, Placement placement,
                  PermissionCoordinator &coordinator, QWidget *parent = nullptr);

    // What puts the current user into the input group.
    static QString inputGroupCommand();
};

} // namespace tovalit
