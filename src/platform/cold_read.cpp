#include "platform/cold_read.h"

namespace tovalit {

ColdReadDeadline::ColdReadDeadline(Clock clock)
    : m_clock(clock) {}

bool ColdReadDeadline::passed() {
    const auto at = m_clock ? m_clock() : std::chrono::steady_clock::now();
    if (!m_end)
        m_end = at + moment;
    return at >= *m_end;
}

} // namespace tovalit
