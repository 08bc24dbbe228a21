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
    EXPECT_EQ(title(PermissionKind::inputMonitoring), QStringLiteral("输入监控"));
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
