#pragma once

#include "models/app_toast_state.h"

#include <optional>

namespace tovalit {

// What the toasts need of the controller that publishes the one the main
// window shows. Called on the GUI thread only.
class AppToastsHost {
public:
    // The toast as published: the window may have taken it down early.
    virtual std::optional<AppToastState> appToast() const = 0;
    // Publishes the toast to show, or none.
    virtual void publishAppToast(std::optional<AppToastState> toast) = 0;

protected:
    ~AppToastsHost() = default;
};

} // namespace tovalit
