#include "models/permission_state.h"

#include "support/json_text.h"

#include <algorithm>

namespace tovalit {

QJsonObject PermissionState::toJson() const {
    return QJsonObject{{QStringLiteral("kind"), rawValue(kind)},
                       {QStringLiteral("status"), rawValue(status)}};
}

std::optional<PermissionState> PermissionState::fromJson(const QJsonObject &object) {
    const auto kindText = json::string(object, u"kind");
    const auto statusText = json::string(object, u"status");
    if (!kindText || !statusText)
        return std::nullopt;
    const auto kind = permissionKindFromRawValue(*kindText);
    const auto status = permissionAuthorizationStateFromRawValue(*statusText);
    if (!kind || !status)
        return std::nullopt;
    return PermissionState{*kind, *status};
}

QList<PermissionState> neededStates(const QList<PermissionState> &states,
                                    bool shortcutIsFunctionKey) {
    QList<PermissionState> needed;
    for (const PermissionState &state : states) {
        if (isNeeded(state.kind, shortcutIsFunctionKey))
            needed.append(state);
    }
    return needed;
}

bool everyNeededStateGranted(const QList<PermissionState> &states, bool shortcutIsFunctionKey) {
    const QList<PermissionState> needed = neededStates(states, shortcutIsFunctionKey);
    return std::all_of(needed.begin(), needed.end(),
                       [](const PermissionState &state) { return state.isGranted(); });
}

} // namespace tovalit
