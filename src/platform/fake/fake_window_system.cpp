#include "platform/fake/fake_window_system.h"

namespace tovalit {

void FakeWindowSystem::setFrontmost(std::optional<RunningApplication> application) {
    std::lock_guard lock(m_mutex);
    m_frontmost = std::move(application);
}

void FakeWindowSystem::setRunning(QList<RunningApplication> applications) {
    std::lock_guard lock(m_mutex);
    m_running = std::move(applications);
}

void FakeWindowSystem::setWindows(QList<WindowInfo> windows) {
    std::lock_guard lock(m_mutex);
    m_windows = std::move(windows);
}

QList<RunningApplication> FakeWindowSystem::activations() const {
    std::lock_guard lock(m_mutex);
    return m_activations;
}

int FakeWindowSystem::windowListReads() const {
    std::lock_guard lock(m_mutex);
    return m_windowListReads;
}

int FakeWindowSystem::frontmostReads() const {
    std::lock_guard lock(m_mutex);
    return m_frontmostReads;
}

std::optional<RunningApplication> FakeWindowSystem::frontmostApplication() {
    std::lock_guard lock(m_mutex);
    ++m_frontmostReads;
    return m_frontmost;
}

std::optional<RunningApplication> FakeWindowSystem::runningApplication(qint32 processIdentifier) {
    std::lock_guard lock(m_mutex);
    for (const RunningApplication &application : std::as_const(m_running)) {
        if (application.processIdentifier == processIdentifier)
            return application;
    }
    return std::nullopt;
}

QList<RunningApplication> FakeWindowSystem::runningApplications(const QString &bundleIdentifier) {
    std::lock_guard lock(m_mutex);
    QList<RunningApplication> result;
    for (const RunningApplication &application : std::as_const(m_running)) {
        if (application.bundleIdentifier == bundleIdentifier)
            result.append(application);
    }
    return result;
}

bool FakeWindowSystem::activate(const RunningApplication &application) {
    std::lock_guard lock(m_mutex);
    m_activations.append(application);
    return true;
}

QList<WindowInfo> FakeWindowSystem::onScreenWindows() {
    std::lock_guard lock(m_mutex);
    ++m_windowListReads;
    return m_windows;
}

} // namespace tovalit
