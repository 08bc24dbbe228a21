#include "platform/global_hot_key.h"

namespace tovalit {

GlobalHotKeyError::GlobalHotKeyError(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail)) {}

QString GlobalHotKeyError::localizedDescription() const {
    switch (m_kind) {
    case Kind::unavailable:
        return joinedWithDetail(QStringLiteral("无法连接到窗口系统，不能注册全局快捷键"), m_detail);
    case Kind::unknownKey:
        return joinedWithDetail(QStringLiteral("键盘上没有这个按键"), m_detail);
    case Kind::alreadyTaken:
        return joinedWithDetail(QStringLiteral("这个组合键已被其他程序占用"), m_detail);
    case Kind::refused:
        return joinedWithDetail(QStringLiteral("窗口系统拒绝注册这个组合键"), m_detail);
    }
    return {};
}

} // namespace tovalit
