#include "platform/linux/desktop_settings_opener.h"

#include "platform/linux/desktop_notification.h"

#include <QProcess>
#include <QStandardPaths>

namespace tovalit {

DesktopSettingsOpener::DesktopSettingsOpener()
    : DesktopSettingsOpener(
          qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
          [](const QString &program) { return QStandardPaths::findExecutable(program); },
          [](const QString &program, const QStringList &arguments) {
              return QProcess::startDetached(program, arguments);
          },
          [](const QString &message) { notifyDesktop(message); }) {}

DesktopSettingsOpener::DesktopSettingsOpener(QString currentDesktop, ProgramFinder finder,
                                             Launcher launcher, Notifier notifier)
    : m_desktops(currentDesktop.toUpper().split(u':', Qt::SkipEmptyParts))
    , m_finder(std::move(finder))
    , m_launcher(std::move(launcher))
    , m_notifier(std::move(notifier)) {}

std::optional<DesktopSettingsOpener::Page> DesktopSettingsOpener::pageOf(const QUrl &deepLink) {
    if (deepLink.scheme() != u"x-apple.systempreferences")
        return std::nullopt;
    const QString query = deepLink.query();
    if (query == u"Privacy_Microphone")
        return Page::microphone;
    if (query == u"Privacy_ListenEvent")
        return Page::inputMonitoring;
    if (query == u"Privacy_Accessibility")
        return Page::accessibility;
    if (deepLink.path() == u"com.apple.preference.keyboard")
        return Page::keyboard;
    return std::nullopt;
}

QList<DesktopSettingsOpener::Command> DesktopSettingsOpener::commandsFor(Page page) const {
    const auto on = [this](std::initializer_list<const char *> names) {
        for (const char *name : names) {
            if (m_desktops.contains(QLatin1String(name)))
                return true;
        }
        return false;
    };
    const bool gnome = on({"GNOME", "UNITY", "BUDGIE", "POP"});
    const bool kde = on({"KDE"});
    const bool xfce = on({"XFCE"});
    QList<Command> commands;
    switch (page) {
    case Page::microphone:
        if (gnome)
            commands.append({QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}});
        if (kde)
            commands.append({QStringLiteral("systemsettings"), {QStringLiteral("kcm_pulseaudio")}});
        // The input tab of the PulseAudio mixer, on any desktop.
        commands.append({QStringLiteral("pavucontrol"), {QStringLiteral("--tab=4")}});
        break;
    case Page::keyboard:
        if (gnome)
            commands.append({QStringLiteral("gnome-control-center"), {QStringLiteral("keyboard")}});
        if (kde)
            commands.append({QStringLiteral("systemsettings"), {QStringLiteral("kcm_keyboard")}});
        if (xfce)
            commands.append({QStringLiteral("xfce4-keyboard-settings"), {}});
        break;
    case Page::accessibility:
        if (gnome) {
            commands.append(
                {QStringLiteral("gnome-control-center"), {QStringLiteral("universal-access")}});
        }
        if (kde)
            commands.append({QStringLiteral("systemsettings"), {QStringLiteral("kcm_access")}});
        if (xfce)
            commands.append({QStringLiteral("xfce4-accessibility-settings"), {}});
        break;
    case Page::inputMonitoring:
        break;
    }
    return commands;
}

QString DesktopSettingsOpener::noticeFor(Page page) {
    switch (page) {
    case Page::microphone:
        return QStringLiteral(
            "没有找到声音设置。请在系统的声音设置里接入并选择一个输入设备（麦克风）。");
    case Page::inputMonitoring:
        return QStringLiteral("要让 Tovalit 读取 Fn 键，请把当前用户加入 input 组"
                              "（sudo usermod -aG input $USER），然后注销并重新登录。");
    case Page::accessibility:
        return QStringLiteral(
            "没有找到无障碍设置。请开启桌面的辅助技术支持，例如在 GNOME 中运行 gsettings set "
            "org.gnome.desktop.interface toolkit-accessibility true。");
    case Page::keyboard:
        return QStringLiteral("没有找到键盘设置。Linux 不会给 Fn 键分配系统操作，无需修改。");
    }
    return {};
}

bool DesktopSettingsOpener::open(const QUrl &deepLink) {
    const auto page = pageOf(deepLink);
    if (!page)
        return false;
    const QList<Command> commands = commandsFor(*page);
    for (const Command &command : commands) {
        const QString program = m_finder(command.program);
        if (!program.isEmpty() && m_launcher(program, command.arguments))
            return true;
    }
    m_notifier(noticeFor(*page));
    return false;
}

} // namespace tovalit
