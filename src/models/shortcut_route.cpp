#include "models/shortcut_route.h"

namespace tovalit {

QString ShortcutRoute::desktopActionAdvice() {
    return QStringLiteral(
        "这个桌面不让应用自己注册全局快捷键；请在桌面的键盘设置里添加一个自定义快捷键，命令填：");
}

} // namespace tovalit
