#include "platform/desktop_keyboard_settings.h"

namespace tovalit {

DesktopKeyboardSettingsError::DesktopKeyboardSettingsError(QString detail)
    : m_detail(std::move(detail)) {}

QString DesktopKeyboardSettingsError::localizedDescription() const {
    return joinedWithDetail(QStringLiteral("无法写入桌面的键盘设置"), m_detail);
}

} // namespace tovalit
