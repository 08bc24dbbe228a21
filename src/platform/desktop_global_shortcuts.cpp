#include "platform/desktop_global_shortcuts.h"

namespace tovalit {

DesktopGlobalShortcutsError::DesktopGlobalShortcutsError(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail)) {}

QString DesktopGlobalShortcutsError::localizedDescription() const {
    switch (m_kind) {
    case Kind::unavailable:
        return joinedWithDetail(QStringLiteral("桌面没有提供全局快捷键服务"), m_detail);
    case Kind::noAnswer:
        return joinedWithDetail(QStringLiteral("桌面的全局快捷键服务没有应答"), m_detail);
    case Kind::cancelled:
        return joinedWithDetail(QStringLiteral("用户拒绝了桌面的全局快捷键请求"), m_detail);
    case Kind::refused:
        return joinedWithDetail(QStringLiteral("桌面拒绝了全局快捷键请求"), m_detail);
    }
    return {};
}

} // namespace tovalit
