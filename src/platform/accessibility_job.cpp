#include "platform/accessibility_job.h"

namespace tovalit {

AccessibilityJob::AccessibilityJob(quint64 number, ColdReadDeadline::Clock clock)
    : m_number(number)
    , m_coldReads(clock) {}

} // namespace tovalit
