#pragma once

#include "platform/application_keyboard.h"

#include <QList>

namespace tovalit {

// The application's keyboard for tests: events dispatched by the test go
// through the installed monitors, newest first, as the screen layer's
// would.
class FakeApplicationKeyboard final : public ApplicationKeyboard {
public:
    // What reached the focused widget: the event, or nothing when a
    // monitor swallowed it.
    std::optional<LocalKeyEvent> dispatch(const LocalKeyEvent &event);
    int monitorCount() const { return int(m_monitors.size()); }
    int beeps() const { return m_beeps; }

    MonitorToken addLocalMonitor(Monitor monitor) override;
    void removeMonitor(MonitorToken token) override;
    void beep() override { ++m_beeps; }

private:
    QList<std::pair<MonitorToken, Monitor>> m_monitors;
    MonitorToken m_nextToken = 1;
    int m_beeps = 0;
};

} // namespace tovalit
