#include "tests/support/stalled_bus_name.h"

#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"

namespace tovalit::testing {

StalledBusName::StalledBusName(QString name, QProcessEnvironment environment)
    : m_name(std::move(name)) {
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(testToolPath(QStringLiteral("stalled_bus_name")), {m_name});
}

StalledBusName::~StalledBusName() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool StalledBusName::waitUntilOwned() {
    return waitUntil(
               [this] {
                   m_output += m_process.readAllStandardOutput();
                   return m_output.contains("ready\n") || m_process.state() == QProcess::NotRunning;
               },
               "the stalled service to own its name", std::chrono::seconds(10)) &&
           m_output.contains("ready\n");
}

} // namespace tovalit::testing
