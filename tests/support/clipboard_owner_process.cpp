#include "tests/support/clipboard_owner_process.h"

#include <csignal>
#include <gtest/gtest.h>

namespace tovalit::testing {

void ClipboardOwnerProcess::hang() {
    ASSERT_EQ(::kill(pid_t(m_process.processId()), SIGSTOP), 0);
    m_hung = true;
}

ClipboardOwnerProcess::~ClipboardOwnerProcess() {
    if (m_hung)
        ::kill(pid_t(m_process.processId()), SIGCONT);
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

} // namespace tovalit::testing
