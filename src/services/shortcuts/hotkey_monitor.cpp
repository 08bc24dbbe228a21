#include "services/shortcuts/hotkey_monitor.h"

#include "platform/linux/evdev_function_key_source.h"
#include "platform/linux/linux_permission_probe.h"
#include "platform/linux/x11_global_hot_key.h"
#include "platform/permission_probe.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/shortcuts/delay_scheduler.h"
#include "services/shortcuts/function_key_event_tap_host.h"
#include "services/shortcuts/function_key_event_tap_strategy.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "support/gui_thread.h"

#include <QPointer>

namespace tovalit {

namespace {

QString describe(const ShortcutActivationState &state) {
    switch (state.kind) {
    case ShortcutActivationState::Case::ready:
        return QStringLiteral("ready");
    case ShortcutActivationState::Case::degraded:
        return QStringLiteral("degraded");
    case ShortcutActivationState::Case::failed:
        return QStringLiteral("failed");
    }
    return {};
}

} // namespace

HotkeyMonitor::Dependencies HotkeyMonitor::Dependencies::linuxDefaults() {
    Dependencies dependencies;
    dependencies.globalHotKey = std::make_shared<X11GlobalHotKey>();
    dependencies.makeFunctionKeySource = [] { return std::make_shared<EvdevFunctionKeySource>(); };
    dependencies.permissions = std::make_shared<LinuxPermissionProbe>();
    dependencies.functionKeySystemSettings = std::make_shared<FunctionKeySystemSettings>();
    dependencies.makeDelayScheduler = [] { return std::make_shared<ThreadDelayScheduler>(); };
    dependencies.uptime = systemMonotonicClock();
    dependencies.sleeper = systemSleeper();
    return dependencies;
}

HotkeyMonitor::HotkeyMonitor(QObject *parent)
    : HotkeyMonitor(Dependencies::linuxDefaults(), parent) {}

HotkeyMonitor::HotkeyMonitor(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_dependencies(std::move(dependencies)) {}

HotkeyMonitor::~HotkeyMonitor() {
    // The hot-key service and the tap call back into us from their own
    // threads; nothing of ours may stay installed.
    stop();
}

void HotkeyMonitor::setOnTrigger(std::function<void()> onTrigger) {
    m_onTrigger = std::move(onTrigger);
}

void HotkeyMonitor::setOnActivationStateChange(
    std::function<void(const ShortcutActivationState &state)> onActivationStateChange) {
    m_onActivationStateChange = std::move(onActivationStateChange);
}

void HotkeyMonitor::start(const ShortcutConfiguration &configuration) {
    stop();
    m_currentConfiguration = configuration;

    if (configuration.kind == ShortcutConfiguration::Kind::keyboardShortcut) {
        const QString name = configuration.displayName();
        publishActivationState(
            registerHotKey(configuration)
                ? ShortcutActivationState::ready(name + QStringLiteral(" 已注册为全局快捷键"))
                : ShortcutActivationState::failed(name +
                                                  QStringLiteral(" 注册失败，请换一个快捷键")));
        return;
    }

    // The keyboard devices are all the Fn tap reads. Accessibility serves
    // writing the text, as it does after a key combination, so it is not
    // asked for here.
    if (!hasInputMonitoringAccess()) {
        requestInputMonitoringAccessPrompt();
        publishActivationState(ShortcutActivationState::failed(
            QStringLiteral("Fn 需要读取键盘设备：请把当前用户加入 input 组（sudo usermod -aG "
                           "input $USER）并重新登录，或在设置里录制一个组合快捷键")));
        return;
    }

    QPointer<HotkeyMonitor> guard(this);
    auto host = std::make_unique<FunctionKeyEventTapHost>(
        FunctionKeyEventTapStrategy::configuration(),
        [guard] {
            postToGuiThread([guard] {
                if (guard)
                    guard->deliverTrigger();
            });
        },
        m_dependencies.makeFunctionKeySource(), m_dependencies.makeDelayScheduler(),
        m_dependencies.uptime);
    switch (host->start()) {
    case FunctionKeyTapStart::started:
        break;
    case FunctionKeyTapStart::unavailable:
        publishActivationState(ShortcutActivationState::failed(
            QStringLiteral("无法读取键盘设备（/dev/input），Fn 无法监听；请确认当前用户在 input "
                           "组中并已重新登录")));
        return;
    case FunctionKeyTapStart::noFunctionKey:
        // Nothing to grant: the keyboard itself keeps the key to itself.
        publishActivationState(ShortcutActivationState::failed(QStringLiteral(
            "没有找到会上报 Fn 键的键盘，Fn 无法监听；请在设置里录制一个组合快捷键")));
        return;
    }
    m_functionEventTapHost = std::move(host);
    publishActivationState(m_dependencies.functionKeySystemSettings->activationStateMessage());
}

void HotkeyMonitor::stop() {
    if (m_functionEventTapHost) {
        m_functionEventTapHost->stop();
        m_functionEventTapHost.reset();
    }
    if (m_isHotKeyRegistered) {
        m_dependencies.globalHotKey->unregisterHotKey(hotKeyIdentifier);
        m_isHotKeyRegistered = false;
    }
    if (m_isHotKeyHandlerInstalled) {
        m_dependencies.globalHotKey->removeHandler();
        m_isHotKeyHandlerInstalled = false;
    }
}

QCoro::Task<void> HotkeyMonitor::waitUntilShortcutReleaseSettles() {
    QPointer<HotkeyMonitor> guard(this);
    // Never cancelled: an interrupted sleep would count as a finished one.
    const CancelToken token;
    const Sleeper sleeper = m_dependencies.sleeper;
    if (m_currentConfiguration.kind == ShortcutConfiguration::Kind::keyboardShortcut) {
        co_await sleeper(0.08, token);
        co_return;
    }
    int count = 0;
    while (guard && guard->m_functionEventTapHost &&
           guard->m_functionEventTapHost->isFunctionPressed()) {
        co_await sleeper(0.01, token);
        ++count;
        if (count >= 50)
            break;
    }
    co_await sleeper(0.05, token);
}

bool HotkeyMonitor::hasInputMonitoringAccess() {
    return m_dependencies.permissions->preflightListenEventAccess();
}

void HotkeyMonitor::requestInputMonitoringAccessPrompt() {
    m_dependencies.permissions->requestListenEventAccess();
}

void HotkeyMonitor::publishActivationState(const ShortcutActivationState &state) {
    TovalitDebugLogger::log(QStringLiteral("hotkey.start"),
                            [shortcut = m_currentConfiguration.displayName(), state]() -> QString {
                                return QStringLiteral("shortcut=") + shortcut +
                                       QStringLiteral(" | state=") + describe(state) +
                                       QStringLiteral(" | message=") + state.message;
                            });
    if (m_onActivationStateChange)
        m_onActivationStateChange(state);
}

bool HotkeyMonitor::registerHotKey(const ShortcutConfiguration &configuration) {
    if (!configuration.keyCode)
        return false;
    GlobalHotKey &hotKey = *m_dependencies.globalHotKey;
    QPointer<HotkeyMonitor> guard(this);
    try {
        hotKey.installHandler([guard](GlobalHotKey::Identifier identifier) {
            if (!(identifier == hotKeyIdentifier))
                return;
            postToGuiThread([guard] {
                if (guard)
                    guard->deliverTrigger();
            });
        });
    } catch (const GlobalHotKeyError &error) {
        TovalitDebugLogger::log(QStringLiteral("hotkey.register"),
                                QStringLiteral("step=handler | error=") +
                                    error.localizedDescription());
        return false;
    }
    m_isHotKeyHandlerInstalled = true;
    try {
        hotKey.registerHotKey(*configuration.keyCode, configuration.carbonModifiers(),
                              hotKeyIdentifier);
    } catch (const GlobalHotKeyError &error) {
        hotKey.removeHandler();
        m_isHotKeyHandlerInstalled = false;
        TovalitDebugLogger::log(QStringLiteral("hotkey.register"),
                                QStringLiteral("step=register | shortcut=") +
                                    configuration.displayName() + QStringLiteral(" | error=") +
                                    error.localizedDescription());
        return false;
    }
    m_isHotKeyRegistered = true;
    return true;
}

void HotkeyMonitor::deliverTrigger() {
    if (m_onTrigger)
        m_onTrigger();
}

} // namespace tovalit
