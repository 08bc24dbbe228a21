#include "tests/support/clipboard_owner_process.h"

#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tovalit::testing {

ClipboardOwnerProcess::ClipboardOwnerProcess() {
    m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
}

void ClipboardOwnerProcess::hang() {
    ASSERT_EQ(::kill(pid_t(m_process.processId()), SIGSTOP), 0);
    m_hung = true;
}

ClipboardOwnerProcess::~ClipboardOwnerProcess() {
    const auto group = pid_t(m_process.processId());
    if (group <= 0)
        return;
    if (m_hung)
        ::kill(group, SIGCONT);
    // A helper left serving a paste nobody reads would outlive the test,
    // holding the output the test harness waits to see closed.
    ::kill(-group, SIGTERM);
    if (!m_process.waitForFinished(3000)) {
        ::kill(-group, SIGKILL);
        m_process.waitForFinished(3000);
    }
}

} // namespace tovalit::testing
