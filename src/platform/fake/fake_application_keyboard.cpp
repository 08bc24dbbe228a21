#include "platform/fake/fake_application_keyboard.h"

namespace tovalit {

std::optional<LocalKeyEvent> FakeApplicationKeyboard::dispatch(const LocalKeyEvent &event) {
    std::optional<LocalKeyEvent> current = event;
    // A monitor may remove itself (or another) while it runs.
    const auto monitors = m_monitors;
    for (auto it = monitors.crbegin(); it != monitors.crend() && current; ++it)
        current = it->second(*current);
    return current;
}

ApplicationKeyboard::MonitorToken FakeApplicationKeyboard::addLocalMonitor(Monitor monitor) {
    const MonitorToken token = m_nextToken++;
    m_monitors.append({token, std::move(monitor)});
    return token;
}

void FakeApplicationKeyboard::removeMonitor(MonitorToken token) {
    m_monitors.removeIf([token](const auto &entry) { return entry.first == token; });
}

} // namespace tovalit
