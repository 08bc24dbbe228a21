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
        return QStringLiteral("键盘读取（input 组）");
    case PermissionKind::accessibility:
        return QStringLiteral("辅助技术（AT-SPI）");
    }
    return {};
}

QString summary(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone:
        return QStringLiteral("用于采集语音并写入本地录音文件。");
    case PermissionKind::inputMonitoring:
        return QStringLiteral("仅 Fn 快捷键需要：读取键盘设备（/dev/input）来监听 Fn，"
                              "组合快捷键用不到。加入 input 组后需注销并重新登录才生效；"
                              "Fn 仍会传给当前应用。");
    case PermissionKind::accessibility:
        return QStringLiteral("用于把整理后的文本自动写回当前焦点输入框。");
    }
    return {};
}

bool isNeeded(PermissionKind kind, bool shortcutIsFunctionKey) {
    return kind != PermissionKind::inputMonitoring || shortcutIsFunctionKey;
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
