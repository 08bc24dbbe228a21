#include "platform/remote_desktop_keyboard.h"

namespace tovalit {

RemoteDesktopKeyboardError::RemoteDesktopKeyboardError(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail)) {}

QString RemoteDesktopKeyboardError::localizedDescription() const {
    switch (m_kind) {
    case Kind::unavailable:
        return joinedWithDetail(QStringLiteral("桌面没有提供远程桌面键盘"), m_detail);
    case Kind::noAnswer:
        return joinedWithDetail(QStringLiteral("桌面的远程桌面服务没有应答"), m_detail);
    case Kind::refused:
        return joinedWithDetail(QStringLiteral("用户拒绝了远程桌面键盘请求"), m_detail);
    case Kind::closed:
        return joinedWithDetail(QStringLiteral("远程桌面会话已结束"), m_detail);
    }
    return {};
}

} // namespace tovalit
