#pragma once

#include <QString>
#include <QUuid>

namespace tovalit {

// One toast of the main window. Every toast has an identity of its own, so
// the same message raised twice is two toasts.
struct AppToastState {
    QUuid id;
    QString message;
    // A failure rather than a confirmation; the window styles them apart.
    bool isError = false;

    bool operator==(const AppToastState &) const = default;
};

} // namespace tovalit
