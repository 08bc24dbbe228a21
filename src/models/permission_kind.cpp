#include "models/permission_kind.h"

namespace tovalit {

QString rawValue(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone:
        return QStringLiteral("microphone");
    case PermissionKind::inputMonitoring:
        return QStringLiteral("inputMonitoring");
    case PermissionKind::accessibility:
        return QStringLiteral("accessibility");
    }
    return {};
}

std::optional<PermissionKind> permissionKindFromRawValue(QStringView raw) {
    for (const PermissionKind kind : allPermissionKinds) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

QString title(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone:
        return QStringLiteral("麦克风");
    case PermissionKind::inputMonitoring:
        return QStringLiteral("输入监控");
    case PermissionKind::accessibility:
        return QStringLiteral("辅助功能");
    }
    return {};
}

QString summary(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone:
        return QStringLiteral("用于采集语音并写入本地录音文件。");
    case PermissionKind::inputMonitoring:
        return QStringLiteral("用于独占监听 Fn 和其他全局快捷键，避免被系统表情面板抢占。"
                              "开启后通常需重启应用生效。");
    case PermissionKind::accessibility:
        return QStringLiteral("用于把整理后的文本自动写回当前焦点输入框。");
    }
    return {};
}

QString settingsURLString(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone:
        return QStringLiteral(
            "x-apple.systempreferences:com.apple.preference.security?Privacy_Microphone");
    case PermissionKind::inputMonitoring:
        return QStringLiteral(
            "x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent");
    case PermissionKind::accessibility:
        return QStringLiteral(
            "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
    }
    return {};
}

} // namespace tovalit
