#include "tests/support/terminal_process.h"

#include "tests/support/file_contents.h"
#include "tests/support/run_task.h"
#include "tests/support/xdotool.h"

#include <QFile>

#include <gtest/gtest.h>

namespace tovalit::testing {

QString terminalProgram(TerminalKind kind) {
    switch (kind) {
    case TerminalKind::xterm:
        return QStringLiteral("xterm");
    case TerminalKind::xfce4Terminal:
        return QStringLiteral("xfce4-terminal");
    case TerminalKind::konsole:
        return QStringLiteral("konsole");
    }
    return {};
}

std::string terminalTestName(TerminalKind kind) {
    return terminalProgram(kind).replace(u'-', u'_').toStdString();
}

std::unique_ptr<TerminalProcess> TerminalProcess::start(TerminalKind kind, Window window,
                                                        const QStringList &command) {
    std::unique_ptr<TerminalProcess> terminal(new TerminalProcess);
    terminal->m_kind = kind;
    if (!terminal->writeShellSettings())
        return nullptr;
    if (!terminal->launch(window, terminal->shellCommand(command)))
        return nullptr;
    if (window == Window::x11 && !terminal->activateXWindow())
        return nullptr;
    return terminal;
}

TerminalProcess::~TerminalProcess() {
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

qint32 TerminalProcess::processIdentifier() const {
    return qint32(m_process.processId());
}

QString TerminalProcess::history() const {
    return QString::fromUtf8(readFile(m_folder.path() + QStringLiteral("/history")));
}

bool TerminalProcess::prompted() const {
    return QFile::exists(m_folder.path() + QStringLiteral("/prompt"));
}

ActiveInteractionContext TerminalProcess::context() const {
    ActiveInteractionContext context;
    switch (m_kind) {
    case TerminalKind::xterm:
        context.appName = context.bundleID = QStringLiteral("XTerm");
        break;
    case TerminalKind::xfce4Terminal:
        context.appName = context.bundleID = QStringLiteral("xfce4-terminal");
        break;
    case TerminalKind::konsole:
        context.appName = QStringLiteral("Konsole");
        context.bundleID = QStringLiteral("org.kde.konsole");
        break;
    }
    context.processIdentifier = processIdentifier();
    return context;
}

bool TerminalProcess::writeShellSettings() {
    const QString folder = m_folder.path();
    QFile rc(folder + QStringLiteral("/rc"));
    if (!rc.open(QIODevice::WriteOnly)) {
        ADD_FAILURE() << "could not write the shell's settings in " << folder.toStdString();
        return false;
    }
    // Output that ends in wide characters above the prompt: Konsole's text
    // runs such a row into the next one.
    rc.write(QStringLiteral("printf '欢迎使用\\n'\n"
                            "PS1='$ '\n"
                            "HISTFILE=%1/history\n"
                            "HISTCONTROL=\n"
                            "bind 'set enable-bracketed-paste on'\n"
                            // F12 types the half command: xdotool drops
                            // wide characters it types one after another.
                            "bind '\"\\e[24~\":\"%2\"'\n"
                            "PROMPT_COMMAND='history -a; touch %1/prompt'\n")
                 .arg(folder, halfCommand)
                 .toUtf8());
    return true;
}

QStringList TerminalProcess::shellCommand(const QStringList &command) const {
    if (!command.isEmpty())
        return command;
    return {QStringLiteral("bash"), QStringLiteral("--noprofile"), QStringLiteral("--rcfile"),
            m_folder.path() + QStringLiteral("/rc"), QStringLiteral("-i")};
}

bool TerminalProcess::launch(Window window, const QStringList &shell) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    if (window == Window::nativeWayland) {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        environment.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
    } else {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    environment.remove(QStringLiteral("NO_AT_BRIDGE"));
    environment.insert(QStringLiteral("TERM"), QStringLiteral("xterm-256color"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    QStringList arguments;
    switch (m_kind) {
    case TerminalKind::xterm:
        arguments << QStringLiteral("-u8") << QStringLiteral("-e") << shell;
        break;
    case TerminalKind::xfce4Terminal:
        arguments << QStringLiteral("--disable-server") << QStringLiteral("-x") << shell;
        break;
    case TerminalKind::konsole:
        arguments << QStringLiteral("--separate") << QStringLiteral("--nofork")
                  << QStringLiteral("-e") << shell;
        break;
    }
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(terminalProgram(m_kind), arguments);
    if (!m_process.waitForStarted(5000)) {
        ADD_FAILURE() << "could not start " << terminalProgram(m_kind).toStdString();
        return false;
    }
    return true;
}

bool TerminalProcess::activateXWindow() {
    const QString pid = QString::number(processIdentifier());
    QString window;
    if (!waitUntil(
            [&] {
                window = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                  QStringLiteral("--pid"), pid})
                             .section(u'\n', 0, 0);
                return !window.isEmpty();
            },
            "the terminal's window", std::chrono::seconds(20)))
        return false;
    return waitUntil(
        [&] {
            xdotool({QStringLiteral("windowactivate"), window});
            return xdotool({QStringLiteral("getactivewindow"), QStringLiteral("getwindowpid")}) ==
                   pid;
        },
        "the terminal's window to be active", std::chrono::seconds(10));
}

} // namespace tovalit::testing
