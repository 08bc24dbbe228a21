#include "services/shortcuts/held_shortcut_filter.h"

#include <algorithm>
#include <utility>

namespace tovalit {

HeldShortcutFilter::Press HeldShortcutFilter::keysDown(double at, const KeyRepeat &repeat) {
    // Once the desktop has said the keys went up, nothing else decides.
    const bool isRepeat = m_isDown && m_lastAt && at - *m_lastAt <= repeat.delaySeconds + lateness;
    m_isDown = true;
    if (!isRepeat) {
        m_lastAt = at;
        m_isRepeating = false;
        return Press::fresh;
    }
    m_lastAt = std::max(*m_lastAt, at);
    return std::exchange(m_isRepeating, true) ? Press::repeat : Press::firstRepeat;
}

void HeldShortcutFilter::keysUp() {
    m_isDown = false;
}

HeldShortcutFilter::Press HeldShortcutFilter::triggered(double at, const KeyRepeat &repeat) {
    if (repeat.enabled && m_lastAt) {
        // One that arrives after a later one (the launches of our command
        // race) is a repeat as well.
        const double limit =
            (m_isRepeating ? repeat.intervalSeconds : repeat.delaySeconds) + lateness;
        if (at - *m_lastAt <= limit) {
            m_lastAt = std::max(*m_lastAt, at);
            return std::exchange(m_isRepeating, true) ? Press::repeat : Press::firstRepeat;
        }
    }
    m_lastAt = at;
    m_isRepeating = false;
    return Press::fresh;
}

void HeldShortcutFilter::reset() {
    m_lastAt.reset();
    m_isDown = false;
    m_isRepeating = false;
}

} // namespace tovalit
