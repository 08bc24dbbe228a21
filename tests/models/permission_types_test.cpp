#include "models/permission_state.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(PermissionTypes, RawValuesMatchExactlyAndRoundTrip) {
    for (const PermissionKind kind : allPermissionKinds)
        EXPECT_EQ(permissionKindFromRawValue(rawValue(kind)), kind);
    EXPECT_FALSE(permissionKindFromRawValue(u"Microphone"));
    EXPECT_FALSE(permissionAuthorizationStateFromRawValue(u""));
    EXPECT_FALSE(permissionAuthorizationStateFromRawValue(u"GRANTED"));
    EXPECT_EQ(permissionAuthorizationStateFromRawValue(u"needsManualEnable"),
              PermissionAuthorizationState::needsManualEnable);
    EXPECT_EQ(badgeLabel(PermissionAuthorizationState::needsManualEnable),
              QStringLiteral("需手动开启"));
    EXPECT_EQ(title(PermissionKind::inputMonitoring), QStringLiteral("键盘读取（input 组）"));
}

TEST(PermissionTypes, TheKeyboardDevicesAreNeededForTheFnKeyOnly) {
    const QList<PermissionState> states{
        {PermissionKind::microphone, PermissionAuthorizationState::granted},
        {PermissionKind::inputMonitoring, PermissionAuthorizationState::needsManualEnable},
        {PermissionKind::accessibility, PermissionAuthorizationState::granted}};
    EXPECT_FALSE(everyNeededStateGranted(states, true));
    EXPECT_TRUE(everyNeededStateGranted(states, false));
    EXPECT_EQ(neededStates(states, false), (QList<PermissionState>{states[0], states[2]}));
    EXPECT_EQ(neededStates(states, true), states);

    QList<PermissionState> accessibilityMissing = states;
    accessibilityMissing[2].status = PermissionAuthorizationState::notDetermined;
    EXPECT_FALSE(everyNeededStateGranted(accessibilityMissing, false));
    EXPECT_TRUE(everyNeededStateGranted({}, true));
}

TEST(PermissionTypes, StateEqualityAndJson) {
    const PermissionState granted{PermissionKind::microphone,
                                  PermissionAuthorizationState::granted};
    EXPECT_NE(granted,
              (PermissionState{PermissionKind::microphone, PermissionAuthorizationState::denied}));
    EXPECT_NE(granted, (PermissionState{PermissionKind::accessibility,
                                        PermissionAuthorizationState::granted}));
    EXPECT_TRUE(granted.isGranted());

    EXPECT_EQ(PermissionState::fromJson(granted.toJson()), granted);
    const QJsonObject badStatus{{QStringLiteral("kind"), QStringLiteral("microphone")},
                                {QStringLiteral("status"), QStringLiteral("allowed")}};
    EXPECT_FALSE(PermissionState::fromJson(badStatus)) << "nothing is substituted";
}

} // namespace
} // namespace tovalit
