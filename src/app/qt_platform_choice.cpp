#include "app/qt_platform_choice.h"

#include <QGuiApplication>

namespace tovalit {

namespace {

// Whether the platform is our choice, not the user's.
bool chosenHere = false;

// Runs once the application object has loaded its platform.
void forgetChosenPlatform() {
    qunsetenv("QT_QPA_PLATFORM");
}

} // namespace

void preferXcbPlatform() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    chosenHere = true;
    qAddPreRoutine(forgetChosenPlatform);
}

std::optional<QString> unsupportedPlatformMessage() {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return std::nullopt;
    if (chosenHere) {
        return QStringLiteral("Tovalit 需要 XWayland：当前的 Wayland 会话里没有可用的 X "
                              "服务器，浮动面板会抢走焦点，听写的文字无法写回你的窗口。请开启 "
                              "XWayland 后再启动 Tovalit。");
    }
    return QStringLiteral("Tovalit 需要通过 XWayland 运行，而环境变量 QT_QPA_PLATFORM "
                          "让它使用了 Wayland：浮动面板会抢走焦点，听写的文字无法写回你的窗口。"
                          "请为 Tovalit 去掉这个设置后再启动。");
}

} // namespace tovalit
