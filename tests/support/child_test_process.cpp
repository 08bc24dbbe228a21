#include "tests/support/child_test_process.h"

#include "tests/support/run_task.h"

#include <QCoreApplication>
#include <QProcess>

namespace tovalit::testing {

namespace {

constexpr const char *childVariable = "TOVALIT_TEST_CHILD_PROCESS";

} // namespace

bool runTestsInChildProcess(const QString &filter, QProcessEnvironment environment,
                            std::chrono::milliseconds limit) {
    environment.insert(QLatin1String(childVariable), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=") + filter,
                 QStringLiteral("--gtest_also_run_disabled_tests")});
    QByteArray output;
    const bool finished = waitUntil(
        [&] {
            output += child.readAll();
            return child.state() == QProcess::NotRunning;
        },
        "the child test process", limit);
    output += child.readAll();
    if (!finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    const bool passed = finished && child.exitStatus() == QProcess::NormalExit &&
                        child.exitCode() == 0 && output.contains("[  PASSED  ] ") &&
                        !output.contains("[  PASSED  ] 0 tests") &&
                        !output.contains("[  SKIPPED ]");
    if (!passed)
        ADD_FAILURE() << "the child process of " << filter.toStdString() << " did not pass:\n"
                      << output.constData();
    return passed;
}

bool isChildTestProcess() {
    return qEnvironmentVariable(childVariable) == QLatin1String("1");
}

QProcessEnvironment environmentOnSessionBus(const QString &address) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    return environment;
}

} // namespace tovalit::testing
