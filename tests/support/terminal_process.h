#pragma once

#include "models/active_interaction_context.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace tovalit::testing {

enum class TerminalKind { xterm, xfce4Terminal, konsole };

// The name of the terminal's executable ("xfce4-terminal").
QString terminalProgram(TerminalKind kind);
// A name fit for a test's name ("xfce4_terminal").
std::string terminalTestName(TerminalKind kind);

// A terminal in a process of its own, running bash (or another command)
// with a history of its own: every line the shell runs lands in its
// history file at the next prompt, which is how a test reads back what
// was typed. Stopped when the object goes.
class TerminalProcess {
public:
    // What bash types on F12.
    static inline const QString halfCommand = QStringLiteral("echo 半截命令 ");

    // Where the terminal's window lives: on the X server, which then makes
    // it the active window; or native in the Wayland session, where the
    // compositor gives a new window the focus itself.
    enum class Window { x11, nativeWayland };

    // Starts the terminal, and (bounded) waits for its window; nothing when
    // it did not come, the failure reported to the test.
    static std::unique_ptr<TerminalProcess> start(TerminalKind kind, Window window = Window::x11,
                                                  const QStringList &command = {});
    ~TerminalProcess();

    qint32 processIdentifier() const;
    QString folder() const { return m_folder.path(); }
    QString history() const;
    // Whether bash has shown its prompt.
    bool prompted() const;
    bool running() const { return m_process.state() != QProcess::NotRunning; }

    // What the capture of a recording finds of the terminal.
    ActiveInteractionContext context() const;

private:
    TerminalProcess() = default;
    bool writeShellSettings();
    QStringList shellCommand(const QStringList &command) const;
    bool launch(Window window, const QStringList &shell);
    bool activateXWindow();

    TerminalKind m_kind = TerminalKind::xterm;
    QTemporaryDir m_folder;
    QProcess m_process;
};

} // namespace tovalit::testing
