#pragma once

#include "platform/accessibility_thread.h"
#include "platform/cold_read.h"

#include <QtGlobal>

namespace tovalit {

// One job of the accessibility thread, alive while it runs: what it reads
// of one tree, call after call, may be read once for all of them, and the
// reads it asks again wait for a cold page once, within its deadline.
class AccessibilityJob {
public:
    AccessibilityJob(quint64 number, ColdReadDeadline::Clock clock);
    AccessibilityJob(const AccessibilityJob &) = delete;
    AccessibilityJob &operator=(const AccessibilityJob &) = delete;

    // Different for every job.
    quint64 number() const { return m_number; }
    ColdReadDeadline &coldReads() { return m_coldReads; }

private:
    quint64 m_number;
    ColdReadDeadline m_coldReads;
};

// `read(deadline)` within the deadline of the job running on the calling
// thread; outside a job (a test, a tool), within one of its own.
template <typename Read>
auto readUnderRunningJob(const Read &read) {
    if (AccessibilityJob *job = AccessibilityThread::currentJob())
        return read(job->coldReads());
    ColdReadDeadline own;
    return read(own);
}

} // namespace tovalit
