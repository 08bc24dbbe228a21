#pragma once

#include "platform/window_system.h"

#include <mutex>

namespace tovalit {

// Applications and windows set by a test; records activations.
class FakeWindowSystem final : public WindowSystem {
public:
    void setFrontmost(std::optional<RunningApplication> application);
    void setRunning(QList<RunningApplication> applications);
    void setWindows(QList<WindowInfo> windows);
    QList<RunningApplication> activations() const;
    int windowListReads() const;
    int frontmostReads() const;

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<RunningApplication> runningApplication(qint32 processIdentifier) override;
    QList<RunningApplication> runningApplications(const QString &bundleIdentifier) override;
    bool activate(const RunningApplication &application) override;
    QList<WindowInfo> onScreenWindows() override;

private:
    mutable std::mutex m_mutex;
    std::optional<RunningApplication> m_frontmost;
    QList<RunningApplication> m_running;
    QList<WindowInfo> m_windows;
    QList<RunningApplication> m_activations;
    int m_windowListReads = 0;
    int m_frontmostReads = 0;
};

} // namespace tovalit
