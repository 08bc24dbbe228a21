#include "services/shortcuts/hotkey_monitor.h"

#include "platform/display_session.h"
#include "platform/linux/evdev_function_key_source.h"
#include "platform/linux/gnome_keyboard_settings.h"
#include "platform/linux/linux_permission_probe.h"
#include "platform/linux/x11_global_hot_key.h"
#include "platform/linux/xdg_global_shortcuts_portal.h"
#include "platform/linux/xdg_shortcut_trigger.h"
#include "platform/permission_probe.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/shortcuts/delay_scheduler.h"
#include "services/shortcuts/desktop_keybinding.h"
#include "services/shortcuts/function_key_event_tap_host.h"
#include "services/shortcuts/function_key_event_tap_strategy.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "support/gui_thread.h"
#include "support/spawn.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

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

QString describe(ShortcutRoute::Way way) {
    switch (way) {
    case ShortcutRoute::Way::none:
        return QStringLiteral("none");
    case ShortcutRoute::Way::keyGrab:
        return QStringLiteral("key-grab");
    case ShortcutRoute::Way::functionKeyDevice:
        return QStringLiteral("fn-device");
    case ShortcutRoute::Way::desktopPortal:
        return QStringLiteral("desktop-portal");
    case ShortcutRoute::Way::desktopAction:
        return QStringLiteral("desktop-action");
    case ShortcutRoute::Way::desktopKeybinding:
        return QStringLiteral("desktop-keybinding");
    }
    return {};
}

// GNOME and the desktops built on it (XDG_CURRENT_DESKTOP "ubuntu:GNOME").
bool isGnomeDesktop() {
    const QStringList names = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':');
    return names.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive);
}

// The command line that runs the desktop entry's recording action: the
// bare name when launching by name finds this very program, so the
// binding survives updates; otherwise the full path, quoted for the shell
// the desktop's settings hand it to.
QString recordingActionCommandFor(const QString &program) {
    const QString byName = QStandardPaths::findExecutable(QStringLiteral("tovalit"));
    QString launcher = program;
    if (!byName.isEmpty() &&
        QFileInfo(byName).canonicalFilePath() == QFileInfo(program).canonicalFilePath())
        launcher = QStringLiteral("tovalit");
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+-]+$"));
    if (!plain.match(launcher).hasMatch())
        launcher = u'\'' + QString(launcher).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
    return launcher + QStringLiteral(" --action toggle-recording");
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
    dependencies.isWaylandSession = DisplaySession::fromEnvironment().wayland;
    if (dependencies.isWaylandSession)
        dependencies.desktopShortcuts = std::make_shared<XdgGlobalShortcutsPortal>();
    dependencies.recordingActionCommand =
        recordingActionCommandFor(QCoreApplication::applicationFilePath());
    // Also in an X11 session: ours follows the combination wherever it is
    // recorded, and goes with the Fn key.
    if (isGnomeDesktop()) {
        dependencies.keyboardSettings = std::make_shared<GnomeKeyboardSettings>();
        dependencies.desktopKeybinding = std::make_shared<DesktopKeybinding>(
            dependencies.keyboardSettings, dependencies.recordingActionCommand);
    }
    return dependencies;
}

HotkeyMonitor::HotkeyMonitor(QObject *parent)
    : HotkeyMonitor(Dependencies::linuxDefaults(), parent) {}

HotkeyMonitor::HotkeyMonitor(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_dependencies(std::move(dependencies)) {
    if (m_dependencies.desktopKeybinding)
        connect(m_dependencies.desktopKeybinding.get(), &DesktopKeybinding::changed, this,
                &HotkeyMonitor::handleDesktopKeybindingChange);
}

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

void HotkeyMonitor::setOnRouteChange(
    std::function<void(const ShortcutRoute &route)> onRouteChange) {
    m_onRouteChange = std::move(onRouteChange);
}

void HotkeyMonitor::start(const ShortcutConfiguration &configuration) {
    keepDesktopKeybindingInStep(configuration);
    if (keepsDesktopShortcut(configuration)) {
        publish(m_route, m_lastState);
        return;
    }
    stop();
    m_currentConfiguration = configuration;

    if (configuration.kind == ShortcutConfiguration::Kind::keyboardShortcut) {
        if (m_dependencies.isWaylandSession) {
            startDesktopShortcut(configuration);
            return;
        }
        // Keys that our custom shortcut in the desktop's settings holds
        // (written in a Wayland session) are the desktop's to grab: a grab
        // of ours would fail beside it, or take them from it.
        if (desktopKeybindingHoldsKeys()) {
            useDesktopAction();
            return;
        }
        const QString name = configuration.displayName();
        if (registerHotKey(configuration))
            publish(ShortcutRoute::of(ShortcutRoute::Way::keyGrab),
                    ShortcutActivationState::ready(name + QStringLiteral(" 已注册为全局快捷键")));
        else
            publish({}, ShortcutActivationState::failed(
                            name + QStringLiteral(" 注册失败，请换一个快捷键")));
        return;
    }

    // The keyboard devices are all the Fn tap reads. Accessibility serves
    // writing the text, as it does after a key combination, so it is not
    // asked for here.
    if (!hasInputMonitoringAccess()) {
        requestInputMonitoringAccessPrompt();
        publish({}, ShortcutActivationState::failed(QStringLiteral(
                        "Fn 需要读取键盘设备：请把当前用户加入 input 组（sudo usermod -aG "
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
        publish({}, ShortcutActivationState::failed(QStringLiteral(
                        "无法读取键盘设备（/dev/input），Fn 无法监听；请确认当前用户在 input "
                        "组中并已重新登录")));
        return;
    case FunctionKeyTapStart::noFunctionKey:
        // Nothing to grant: the keyboard itself keeps the key to itself.
        publish({}, ShortcutActivationState::failed(QStringLiteral(
                        "没有找到会上报 Fn 键的键盘，Fn 无法监听；请在设置里录制一个组合快捷键")));
        return;
    }
    m_functionEventTapHost = std::move(host);
    publish(ShortcutRoute::of(ShortcutRoute::Way::functionKeyDevice),
            m_dependencies.functionKeySystemSettings->activationStateMessage());
}

void HotkeyMonitor::stop() {
    beginInstallation();
    m_route = {};
    m_desktopShortcutPresses.reset();
    if (!m_desktopSession.isEmpty())
        m_dependencies.desktopShortcuts->closeSession(std::exchange(m_desktopSession, {}));
    if (m_isDesktopHandlerInstalled) {
        m_dependencies.desktopShortcuts->removeHandler();
        m_isDesktopHandlerInstalled = false;
    }
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

void HotkeyMonitor::publish(const ShortcutRoute &route, const ShortcutActivationState &state) {
    m_route = route;
    if (m_onRouteChange)
        m_onRouteChange(route);
    publishActivationState(state);
}

void HotkeyMonitor::publishActivationState(const ShortcutActivationState &state) {
    m_lastState = state;
    TovalitDebugLogger::log(
        QStringLiteral("hotkey.start"),
        [shortcut = m_currentConfiguration.displayName(), state, route = m_route]() -> QString {
            QString line = QStringLiteral("shortcut=") + shortcut + QStringLiteral(" | way=") +
                           describe(route.way);
            if (!route.desktopTrigger.isEmpty())
                line += QStringLiteral(" | desktop-trigger=") + route.desktopTrigger;
            return line + QStringLiteral(" | state=") + describe(state) +
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

void HotkeyMonitor::beginInstallation() {
    ++m_installation;
}

void HotkeyMonitor::keepDesktopKeybindingInStep(const ShortcutConfiguration &configuration) {
    // Only a new combination is written: a start for a permission that
    // came or went leaves what the user set in the desktop's settings.
    const bool isNewCombination = m_hasStarted && configuration != m_currentConfiguration;
    m_hasStarted = true;
    DesktopKeybinding *keybinding = m_dependencies.desktopKeybinding.get();
    if (!keybinding || !keybinding->current())
        return;
    try {
        if (configuration.isFunctionKey())
            keybinding->release();
        else if (isNewCombination && keybinding->canHold(configuration))
            keybinding->hold(configuration);
    } catch (const DesktopKeyboardSettingsError &error) {
        TovalitDebugLogger::log(QStringLiteral("hotkey.keybinding"),
                                QStringLiteral("shortcut=") + configuration.displayName() +
                                    QStringLiteral(" | error=") + error.localizedDescription());
    }
}

bool HotkeyMonitor::keepsDesktopShortcut(const ShortcutConfiguration &configuration) const {
    return m_dependencies.isWaylandSession && m_route.way == ShortcutRoute::Way::desktopPortal &&
           configuration == m_currentConfiguration;
}

void HotkeyMonitor::startDesktopShortcut(const ShortcutConfiguration &configuration) {
    // Keys that our custom shortcut in the desktop's settings holds stay
    // with it: bound through the desktop's service as well, one press
    // would start a recording twice, that is, start and stop it.
    if (!m_dependencies.desktopShortcuts || desktopKeybindingHoldsKeys()) {
        useDesktopAction();
        return;
    }
    QPointer<HotkeyMonitor> guard(this);
    m_dependencies.desktopShortcuts->installHandler(
        [guard](const DesktopGlobalShortcuts::Event &event) {
            if (guard)
                guard->handleDesktopEvent(event);
        });
    m_isDesktopHandlerInstalled = true;
    // The desktop answers later, perhaps only once the user has confirmed.
    publish(ShortcutRoute::of(ShortcutRoute::Way::desktopPortal),
            ShortcutActivationState::degraded(configuration.displayName() +
                                              QStringLiteral(" 正在向桌面申请全局快捷键")));
    DesktopShortcutRequest request{desktopShortcutId, QStringLiteral("开始或停止录音"),
                                   xdgShortcutTrigger(configuration.keyCode,
                                                      configuration.modifiersRawValue,
                                                      configuration.keyDisplay)};
    spawn(
        this,
        [guard, desktop = m_dependencies.desktopShortcuts, installation = m_installation, request] {
            return bindDesktopShortcut(guard, desktop, installation, request);
        },
        QStringLiteral("desktop shortcut"));
}

QCoro::Task<void>
HotkeyMonitor::bindDesktopShortcut(QPointer<HotkeyMonitor> monitor,
                                   std::shared_ptr<DesktopGlobalShortcuts> desktop,
                                   quint64 installation, DesktopShortcutRequest request) {
    const auto current = [&] { return monitor && monitor->m_installation == installation; };
    const auto logFailure = [](const QString &step, const DesktopGlobalShortcutsError &error) {
        TovalitDebugLogger::log(QStringLiteral("hotkey.desktop"), QStringLiteral("step=") + step +
                                                                      QStringLiteral(" | error=") +
                                                                      error.localizedDescription());
    };
    if (!current())
        co_return;
    QString session;
    try {
        session = co_await desktop->createSession();
    } catch (const DesktopGlobalShortcutsError &error) {
        logFailure(QStringLiteral("session"), error);
        if (current())
            monitor->useDesktopAction();
        co_return;
    }
    if (!current()) {
        desktop->closeSession(session);
        co_return;
    }
    monitor->m_desktopSession = session;

    QList<DesktopShortcut> shortcuts;
    try {
        const QList<DesktopShortcutRequest> wanted{request};
        shortcuts = co_await desktop->bindShortcuts(session, wanted);
    } catch (const DesktopGlobalShortcutsError &error) {
        logFailure(QStringLiteral("bind"), error);
        if (!current())
            co_return;
        switch (error.kind()) {
        case DesktopGlobalShortcutsError::Kind::cancelled:
            // The user turned the desktop's question down; the desktop
            // keeps the session, so they can still give the shortcut keys
            // in its settings.
            monitor->applyDesktopShortcuts({});
            break;
        case DesktopGlobalShortcutsError::Kind::refused:
        case DesktopGlobalShortcutsError::Kind::unavailable:
        case DesktopGlobalShortcutsError::Kind::noAnswer:
            desktop->closeSession(std::exchange(monitor->m_desktopSession, {}));
            monitor->useDesktopAction();
            break;
        }
        co_return;
    }
    if (!current())
        co_return;
    const bool reported = std::any_of(shortcuts.begin(), shortcuts.end(), [](const auto &shortcut) {
        return shortcut.id == desktopShortcutId && !shortcut.triggerDescription.trimmed().isEmpty();
    });
    if (!reported) {
        // Some desktops answer the binding with less than their list holds.
        try {
            shortcuts = co_await desktop->listShortcuts(session);
        } catch (const DesktopGlobalShortcutsError &error) {
            logFailure(QStringLiteral("list"), error);
        }
        if (!current())
            co_return;
    }
    monitor->applyDesktopShortcuts(shortcuts);
}

void HotkeyMonitor::handleDesktopEvent(const DesktopGlobalShortcuts::Event &event) {
    using Kind = DesktopGlobalShortcuts::Event::Kind;
    if (event.kind == Kind::serviceLost) {
        // The keys went with the service's process, which said nothing.
        if (m_route.way != ShortcutRoute::Way::desktopPortal)
            return;
        m_desktopSession.clear();
        beginInstallation();
        publish({}, ShortcutActivationState::failed(
                        m_currentConfiguration.displayName() +
                        QStringLiteral(" 暂时不能用：桌面的全局快捷键服务已退出，它恢复后 "
                                       "Tovalit 会自动重新申请")));
        return;
    }
    if (event.kind == Kind::serviceAvailable) {
        // Asked anew where the service had gone or never answered; a
        // custom shortcut of ours in the desktop's settings stays in
        // charge, lest both start a recording at one press.
        if (m_route.way == ShortcutRoute::Way::none ||
            m_route.way == ShortcutRoute::Way::desktopAction) {
            beginInstallation();
            startDesktopShortcut(m_currentConfiguration);
        }
        return;
    }
    if (m_desktopSession.isEmpty() || event.session != m_desktopSession)
        return;
    switch (event.kind) {
    case DesktopGlobalShortcuts::Event::Kind::activated:
        if (event.shortcutId != desktopShortcutId)
            return;
        // The desktop says "activated" again at each repeat of held keys.
        if (!isNewPress(m_desktopShortcutPresses.keysDown(m_dependencies.uptime(), keyRepeat()),
                        QStringLiteral("desktop-portal")))
            return;
        postToGuiThread([guard = QPointer<HotkeyMonitor>(this)] {
            if (guard)
                guard->deliverTrigger();
        });
        return;
    case DesktopGlobalShortcuts::Event::Kind::deactivated:
        if (event.shortcutId == desktopShortcutId)
            m_desktopShortcutPresses.keysUp();
        return;
    case DesktopGlobalShortcuts::Event::Kind::shortcutsChanged:
        applyDesktopShortcuts(event.shortcuts);
        return;
    case DesktopGlobalShortcuts::Event::Kind::sessionClosed:
        m_desktopSession.clear();
        beginInstallation();
        useDesktopAction();
        return;
    case DesktopGlobalShortcuts::Event::Kind::serviceLost:
    case DesktopGlobalShortcuts::Event::Kind::serviceAvailable:
        return;
    }
}

void HotkeyMonitor::applyDesktopShortcuts(const QList<DesktopShortcut> &shortcuts) {
    QString trigger;
    for (const DesktopShortcut &shortcut : shortcuts) {
        if (shortcut.id == desktopShortcutId)
            trigger = shortcut.triggerDescription.trimmed();
    }
    // Ready only on the desktop's word: it may bind other keys than the
    // ones asked for, or none until the user picks some.
    if (trigger.isEmpty())
        publish(
            ShortcutRoute::of(ShortcutRoute::Way::desktopPortal),
            ShortcutActivationState::failed(QStringLiteral(
                "桌面还没有为 Tovalit 的录音快捷键分配按键，请在桌面的快捷键设置里为它指定按键")));
    else
        publish(
            ShortcutRoute::of(ShortcutRoute::Way::desktopPortal, trigger),
            ShortcutActivationState::ready(trigger + QStringLiteral(" 已由桌面注册为全局快捷键")));
}

void HotkeyMonitor::useDesktopAction() {
    using Way = ShortcutRoute::Way;
    const QString command = m_dependencies.recordingActionCommand;
    const DesktopKeybinding *keybinding = m_dependencies.desktopKeybinding.get();
    const bool offers = keybinding && keybinding->canHold(m_currentConfiguration);
    const std::optional<DesktopCustomShortcut> ours =
        keybinding ? keybinding->current() : std::nullopt;
    if (!ours) {
        // We cannot see what the user binds there, so this is never ready.
        publish(ShortcutRoute::of(Way::desktopAction, {}, command, offers),
                ShortcutActivationState::degraded(ShortcutRoute::desktopActionAdvice() + command));
        return;
    }
    // What the user left of ours in the desktop's settings decides.
    const QString keys = ours->triggerDescription;
    if (!keybinding->runsOurCommand(*ours))
        publish(ShortcutRoute::of(Way::desktopKeybinding, {}, command, offers),
                ShortcutActivationState::failed(QStringLiteral(
                    "桌面的键盘设置里 Tovalit 的自定义快捷键运行的已不是录音命令，请重新写入")));
    else if (keys.isEmpty())
        publish(ShortcutRoute::of(Way::desktopKeybinding, {}, command, offers),
                ShortcutActivationState::failed(QStringLiteral(
                    "桌面的键盘设置里 Tovalit 的自定义快捷键没有分配按键，请重新写入，"
                    "或在桌面的键盘设置里为它指定按键")));
    else
        publish(ShortcutRoute::of(Way::desktopKeybinding, keys, command),
                ShortcutActivationState::ready(keys + QStringLiteral(" 已由桌面注册为全局快捷键")));
}

bool HotkeyMonitor::desktopKeybindingHoldsKeys() const {
    const DesktopKeybinding *keybinding = m_dependencies.desktopKeybinding.get();
    const std::optional<DesktopCustomShortcut> ours =
        keybinding ? keybinding->current() : std::nullopt;
    return ours && keybinding->runsOurCommand(*ours) && !ours->triggerDescription.isEmpty();
}

void HotkeyMonitor::handleDesktopKeybindingChange() {
    // Ours was written from the settings card, or the user changed it in
    // the desktop's settings.
    if (m_route.way != ShortcutRoute::Way::desktopAction &&
        m_route.way != ShortcutRoute::Way::desktopKeybinding)
        return;
    if (m_dependencies.isWaylandSession)
        useDesktopAction();
    else
        // Without ours holding keys, the X server grabs them for us again.
        start(m_currentConfiguration);
}

bool HotkeyMonitor::isNewPressOfRecordingCommand(std::optional<double> secondsSinceLaunch) {
    const double at = m_dependencies.uptime() - secondsSinceLaunch.value_or(0);
    return isNewPress(m_recordingCommandPresses.triggered(at, keyRepeat()),
                      QStringLiteral("desktop-command"));
}

KeyRepeat HotkeyMonitor::keyRepeat() const {
    const std::optional<KeyRepeat> desktops = m_dependencies.keyboardSettings
                                                  ? m_dependencies.keyboardSettings->keyRepeat()
                                                  : std::nullopt;
    return desktops.value_or(HeldShortcutFilter::unknownRepeat);
}

bool HotkeyMonitor::isNewPress(HeldShortcutFilter::Press press, const QString &road) {
    // Once per held press: a repeat comes every few tens of milliseconds.
    if (press == HeldShortcutFilter::Press::firstRepeat)
        TovalitDebugLogger::log(QStringLiteral("hotkey.held"),
                                QStringLiteral("way=") + road +
                                    QStringLiteral(" | repeats of the held shortcut dropped"));
    return press == HeldShortcutFilter::Press::fresh;
}

void HotkeyMonitor::deliverTrigger() {
    if (m_onTrigger)
        m_onTrigger();
}

} // namespace tovalit
