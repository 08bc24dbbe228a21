#include "tests/support/application_process.h"

#include "tests/support/run_task.h"
#include "tests/support/xdotool.h"

#include <gtest/gtest.h>

namespace tovalit::testing {

namespace {

// Only the main window has exactly the product's name as its title.
const QString mainWindowTitle = QStringLiteral("^Tovalit$");

} // namespace

std::unique_ptr<ApplicationProcess> ApplicationProcess::start(const QString &program,
                                                              const QStringList &arguments) {
    std::unique_ptr<ApplicationProcess> application(new ApplicationProcess);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // On the test session's X server, as on a desktop.
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    application->m_process.setProcessEnvironment(environment);
    application->m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    application->m_process.start(program, arguments);
    if (!application->m_process.waitForStarted(5000)) {
        ADD_FAILURE() << "could not start " << program.toStdString() << ": "
                      << application->m_process.errorString().toStdString();
        return nullptr;
    }
    return application;
}

ApplicationProcess::~ApplicationProcess() {
    // It quits on a termination signal as on logging out.
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        ADD_FAILURE() << "the application did not quit on SIGTERM";
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

qint32 ApplicationProcess::processIdentifier() const {
    return qint32(m_process.processId());
}

bool ApplicationProcess::isRunning() const {
    // A process still starting has not ended either.
    return m_process.state() != QProcess::NotRunning;
}

quint64 ApplicationProcess::waitForMainWindow(int seconds) {
    quint64 window = 0;
    waitUntil(
        [&] {
            window = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                              QStringLiteral("--pid"), QString::number(processIdentifier()),
                              QStringLiteral("--name"), mainWindowTitle})
                         .split(QLatin1Char('\n'))
                         .value(0)
                         .toULongLong();
            return window != 0 || !isRunning();
        },
        "the application's main window", std::chrono::seconds(seconds));
    return window;
}

qint32 ApplicationProcess::activeWindowProcess() {
    return xdotool({QStringLiteral("getactivewindow"), QStringLiteral("getwindowpid")}).toInt();
}

QStringList ApplicationProcess::mainWindowsOnScreen() {
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"), mainWindowTitle})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString builtApplicationPath() {
    return QStringLiteral(TOVALIT_EXECUTABLE);
}

std::unique_ptr<QProcess> startApplicationLaunch(const QStringList &arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process->setProcessEnvironment(environment);
    process->start(builtApplicationPath(), arguments);
    return process;
}

ApplicationLaunch applicationLaunchOutcome(QProcess &process) {
    ApplicationLaunch result;
    if (!process.waitForStarted(5000))
        return result;
    result.ended = waitUntil([&] { return process.state() == QProcess::NotRunning; },
                             "the launch to hand on its request and end", std::chrono::seconds(30));
    if (!result.ended) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.errors = QString::fromUtf8(process.readAllStandardError());
    return result;
}

ApplicationLaunch launchApplication(const QStringList &arguments) {
    return applicationLaunchOutcome(*startApplicationLaunch(arguments));
}

} // namespace tovalit::testing
