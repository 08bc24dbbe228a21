#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace tovalit::testing {

// Tovalit itself in a process of its own, started the way a user's
// desktop starts it (in the test's environment, on its X server and
// session bus), and stopped when the object goes.
class ApplicationProcess {
public:
    // A failure to start is reported to the test and gives nothing.
    static std::unique_ptr<ApplicationProcess> start(const QString &program,
                                                     const QStringList &arguments = {});
    ~ApplicationProcess();

    qint32 processIdentifier() const;
    bool isRunning() const;
    // The X window of its main window once it is on screen; 0 when none
    // shows within the time given (reported to the test).
    quint64 waitForMainWindow(int seconds = 30);

    // The process identifier of the window the window manager has active;
    // 0 when none.
    static qint32 activeWindowProcess();
    // The application's main windows on screen, whoever shows them.
    static QStringList mainWindowsOnScreen();

private:
    ApplicationProcess() = default;
    QProcess m_process;
};

// The tovalit executable of this build.
QString builtApplicationPath();

// A later launch of Tovalit, as the desktop starts it to hand a request
// to the one already running (the launcher's entry, one of its actions).
struct ApplicationLaunch {
    bool ended = false;
    int exitCode = -1;
    QString errors;
};
// Starts the built executable with `arguments`.
std::unique_ptr<QProcess> startApplicationLaunch(const QStringList &arguments);
// How it ended; the calling thread's events run meanwhile, so the Tovalit
// of the test process can answer it.
ApplicationLaunch applicationLaunchOutcome(QProcess &process);
// Both.
ApplicationLaunch launchApplication(const QStringList &arguments);

} // namespace tovalit::testing
