#pragma once

#include "models/permission_authorization_state.h"
#include "models/permission_kind.h"

#include <QJsonObject>
#include <QList>

#include <optional>

namespace tovalit {

// One permission and its state when last probed. A list holds at most one
// state per kind, so the kind is its identity.
struct PermissionState {
    PermissionKind kind = PermissionKind::microphone;
    PermissionAuthorizationState status = PermissionAuthorizationState::notDetermined;

    PermissionKind id() const { return kind; }
    bool isGranted() const { return tovalit::isGranted(status); }

    // {"kind": raw value, "status": raw value}.
    QJsonObject toJson() const;
    // Nothing when either member is missing or not one of the raw values.
    static std::optional<PermissionState> fromJson(const QJsonObject &object);

    bool operator==(const PermissionState &) const = default;
};

// The states of the kinds the application needs with the shortcut it has
// (isNeeded), in their order.
QList<PermissionState> neededStates(const QList<PermissionState> &states,
                                    bool shortcutIsFunctionKey);
// Whether every needed state is granted; true when none is needed.
bool everyNeededStateGranted(const QList<PermissionState> &states, bool shortcutIsFunctionKey);

} // namespace tovalit
