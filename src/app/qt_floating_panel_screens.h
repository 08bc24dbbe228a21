#pragma once

#include "app/floating_panel_screens.h"

namespace tovalit {

// The screens Qt knows, the primary one as main, and the pointer.
class QtFloatingPanelScreens : public FloatingPanelScreens {
public:
    QList<Screen> screens() const override;
    std::optional<Screen> mainScreen() const override;
    QPointF mouseLocation() const override;
};

} // namespace tovalit
