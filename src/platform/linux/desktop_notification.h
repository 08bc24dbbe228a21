#pragma once

#include <QString>

#include <chrono>

namespace tovalit {

// Shows `message` from Tovalit in the desktop's notifications
// (org.freedesktop.Notifications); without a notification service there
// is simply nothing to show. A process about to end waits up to `wait` for
// the service to take it; otherwise nothing waits.
void notifyDesktop(const QString &message,
                   std::chrono::milliseconds wait = std::chrono::milliseconds(0));

} // namespace tovalit
