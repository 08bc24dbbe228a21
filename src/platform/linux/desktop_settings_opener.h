#pragma once

#include "platform/system_settings_opener.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace tovalit {

// Opens the Linux desktop's own counterpart of a system settings page: the
// sound settings for the microphone, the keyboard settings, the
// accessibility settings, in GNOME, KDE Plasma or Xfce (or pavucontrol for
// sound anywhere). Where the desktop has no such page (nothing grants
// input monitoring on Linux, for one) it shows a desktop notification that
// says what to do instead.
class DesktopSettingsOpener final : public SystemSettingsOpener {
public:
    // Starts `program` detached; whether it started.
    using Launcher = std::function<bool(const QString &program, const QStringList &arguments)>;
    // Shows `message` to the user outside our windows.
    using Notifier = std::function<void(const QString &message)>;
    // The full path of `program`, or empty when it is not installed.
    using ProgramFinder = std::function<QString(const QString &program)>;

    // The session's desktop ($XDG_CURRENT_DESKTOP), detached processes and
    // the freedesktop notification service.
    DesktopSettingsOpener();
    DesktopSettingsOpener(QString currentDesktop, ProgramFinder finder, Launcher launcher,
                          Notifier notifier);

    bool open(const QUrl &deepLink) override;

private:
    enum class Page { microphone, inputMonitoring, accessibility, keyboard };
    struct Command {
        QString program;
        QStringList arguments;
    };

    static std::optional<Page> pageOf(const QUrl &deepLink);
    QList<Command> commandsFor(Page page) const;
    static QString noticeFor(Page page);

    QStringList m_desktops;
    ProgramFinder m_finder;
    Launcher m_launcher;
    Notifier m_notifier;
};

} // namespace tovalit
